// Variant: the tagged value that crosses every late-bound call and companion interface, and
// the arrays of variants (one or two dimensions, each with its own bounds) that it can hold.
//
//   kind      holds                      notes
//   Empty     nothing                    a value never set; converts to 0, "" and False
//   Null      nothing                    no valid data; most conversions refuse it (94)
//   Integer   std::int16_t
//   Long      std::int32_t
//   Double    double
//   Date      DateTime                   local wall-clock time, whole seconds
//   String    std::string                UTF-8
//   Boolean   bool                       True converts to -1 as a number
//   Object    ObjectRef                  may be null: the "Nothing" reference
//   Array     Array (deep-copied)        elements reachable by reference
//
// The conversions live in convert.h; this file only holds and inspects values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace tarvex::automation {

class Object;
using ObjectRef = std::shared_ptr<Object>;

class Array;

enum class Kind { Empty, Null, Integer, Long, Double, Date, String, Boolean, Object, Array };

std::string_view kind_name(Kind kind);

// A local date and time to the second, counted from 1970-01-01 00:00:00 local time.
struct DateTime {
  std::int64_t local_seconds = 0;
  friend bool operator==(DateTime, DateTime) = default;
};

struct Null {
  friend bool operator==(Null, Null) = default;
};

class Variant {
 public:
  Variant() = default;
  Variant(Null) : value_(Null{}) {}
  Variant(std::int16_t v) : value_(v) {}
  Variant(std::int32_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(DateTime v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(std::string_view v) : value_(std::string(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(bool v) : value_(v) {}
  Variant(ObjectRef v) : value_(std::move(v)) {}
  template <class T>
  requires std::is_base_of_v<Object, T> Variant(std::shared_ptr<T> v)
      : value_(ObjectRef(std::move(v))) {}
  Variant(Array v);

  Variant(const Variant& other);
  Variant(Variant&&) noexcept = default;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&&) noexcept = default;
  ~Variant() = default;

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool is_empty() const { return kind() == Kind::Empty; }
  bool is_null() const { return kind() == Kind::Null; }
  bool is_object() const { return kind() == Kind::Object; }
  bool is_array() const { return kind() == Kind::Array; }
  bool is_numeric() const;  // Integer, Long, Double

  // Typed access without conversion; the wrong kind raises a type mismatch (13).
  std::int16_t as_integer() const;
  std::int32_t as_long() const;
  double as_double() const;
  DateTime as_date() const;
  const std::string& as_string() const&;
  // The text itself, taken out of a variant that is going away: no copy.
  std::string as_string() &&;
  bool as_boolean() const;
  const ObjectRef& as_object() const;
  const Array& as_array() const;
  Array& as_array();

  // Raises std::logic_error when the value is inconsistent. Debug and fuzz builds check every
  // array that becomes a variant and every array copy; tests and fuzzers call it too.
  void check_invariants() const;

 private:
  // Owns the array. Freeing it is out of line, so that destroying a variant (inline: a report
  // destroys one for every cell it reads) does not inline the destruction of its elements.
  struct ArrayBox {
    std::unique_ptr<Array> array;
    explicit ArrayBox(std::unique_ptr<Array> a) : array(std::move(a)) {}
    ArrayBox(ArrayBox&&) noexcept = default;
    ArrayBox& operator=(ArrayBox&& other) noexcept;
    ~ArrayBox();
  };
  // kind() is the index of the alternative held: the alternatives follow Kind's order.
  using Storage = std::variant<std::monostate, Null, std::int16_t, std::int32_t, double, DateTime,
                               std::string, bool, ObjectRef, ArrayBox>;
  template <Kind K, class T>
  static constexpr bool kHolds =
      std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(K), Storage>, T>;
  static_assert(kHolds<Kind::Empty, std::monostate> && kHolds<Kind::Null, Null> &&
                kHolds<Kind::Integer, std::int16_t> && kHolds<Kind::Long, std::int32_t> &&
                kHolds<Kind::Double, double> && kHolds<Kind::Date, DateTime> &&
                kHolds<Kind::String, std::string> && kHolds<Kind::Boolean, bool> &&
                kHolds<Kind::Object, ObjectRef> && kHolds<Kind::Array, ArrayBox> &&
                std::variant_size_v<Storage> == static_cast<std::size_t>(Kind::Array) + 1);

  Storage value_;
};

// An array of one or two dimensions. Element (i) or (i, j): with two dimensions the first
// index selects the column and the second the row, as record sets are handed out.
class Array {
 public:
  struct Bounds {
    std::int32_t lower = 0;
    std::int32_t upper = -1;  // upper < lower: the dimension has no elements
    std::int64_t count() const { return upper < lower ? 0 : std::int64_t{upper} - lower + 1; }
  };

  Array() : Array(std::vector<Bounds>{{0, -1}}) {}
  explicit Array(std::vector<Bounds> dimensions);

  // A zero-based one-dimensional array of the given values.
  static Array of(std::vector<Variant> values);
  // A zero-based (columns x rows) array of empty values.
  static Array table(std::int32_t columns, std::int32_t rows);
  // A zero-based table of `cells` given row by row, taken over without a copy; its size is a
  // multiple of `columns`.
  static Array table(std::int32_t columns, std::vector<Variant> cells);

  int dimensions() const { return static_cast<int>(bounds_.size()); }
  // Bounds of dimension 1 or 2; any other dimension raises 9.
  Bounds bounds(int dimension) const;
  std::size_t size() const { return data_.size(); }

  // Element access; an index outside the bounds, or the wrong number of indexes, raises 9.
  Variant& at(std::int32_t i);
  const Variant& at(std::int32_t i) const;
  Variant& at(std::int32_t column, std::int32_t row);
  const Variant& at(std::int32_t column, std::int32_t row) const;

  void check_invariants() const;

 private:
  std::size_t offset(std::int32_t i) const;
  std::size_t offset(std::int32_t column, std::int32_t row) const;

  std::vector<Bounds> bounds_;
  std::vector<Variant> data_;  // column-major: the first index varies fastest
};

}  // namespace tarvex::automation
