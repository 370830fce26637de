// Holding and inspecting variant values and arrays; conversions are in convert.cpp.
#include "automation/variant.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "automation/error.h"

namespace tarvex::automation {

std::string_view kind_name(Kind kind) {
  switch (kind) {
    case Kind::Empty:
      return "Empty";
    case Kind::Null:
      return "Null";
    case Kind::Integer:
      return "Integer";
    case Kind::Long:
      return "Long";
    case Kind::Double:
      return "Double";
    case Kind::Date:
      return "Date";
    case Kind::String:
      return "String";
    case Kind::Boolean:
      return "Boolean";
    case Kind::Object:
      return "Object";
    case Kind::Array:
      return "Array";
  }
  return "Unknown";
}

namespace {

#if !defined(NDEBUG) || defined(TARVEX_CHECK_INVARIANTS)
constexpr bool kCheckInvariants = true;
#else
constexpr bool kCheckInvariants = false;
#endif

// A broken value is a defect of this program, not an error for a caller to handle: stop here,
// where it shows, rather than as a wrong cell pages later.
void debug_check(const Variant& value) {
  if constexpr (kCheckInvariants) {
    try {
      value.check_invariants();
    } catch (const std::logic_error& e) {
      std::fprintf(stderr, "variant invariant broken: %s\n", e.what());
      std::abort();
    }
  }
}

}  // namespace

// Checking a new array is linear in its elements; building it was too.
Variant::Variant(Array v) : value_(ArrayBox(std::make_unique<Array>(std::move(v)))) {
  debug_check(*this);
}

Variant::Variant(const Variant& other) {
  if (other.kind() == Kind::Array) {
    value_ = ArrayBox(std::make_unique<Array>(other.as_array()));
    debug_check(*this);
  } else {
    // Every other alternative copies as itself; the box is never the active one here.
    std::visit(
        [this](const auto& v) {
          if constexpr (!std::is_same_v<std::decay_t<decltype(v)>, ArrayBox>) value_ = v;
        },
        other.value_);
  }
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant::ArrayBox& Variant::ArrayBox::operator=(ArrayBox&& other) noexcept {
  array = std::move(other.array);
  return *this;
}

Variant::ArrayBox::~ArrayBox() = default;

bool Variant::is_numeric() const {
  Kind k = kind();
  return k == Kind::Integer || k == Kind::Long || k == Kind::Double;
}

namespace {
template <class T>
const T& get_or_mismatch(const auto& value) {
  if (const T* p = std::get_if<T>(&value)) return *p;
  raise(RuntimeError::TypeMismatch);
}
}  // namespace

std::int16_t Variant::as_integer() const {
  return get_or_mismatch<std::int16_t>(value_);
}
std::int32_t Variant::as_long() const {
  return get_or_mismatch<std::int32_t>(value_);
}
double Variant::as_double() const {
  return get_or_mismatch<double>(value_);
}
DateTime Variant::as_date() const {
  return get_or_mismatch<DateTime>(value_);
}
const std::string& Variant::as_string() const& {
  return get_or_mismatch<std::string>(value_);
}
std::string Variant::as_string() && {
  return std::move(const_cast<std::string&>(get_or_mismatch<std::string>(value_)));
}
bool Variant::as_boolean() const {
  return get_or_mismatch<bool>(value_);
}
const ObjectRef& Variant::as_object() const {
  return get_or_mismatch<ObjectRef>(value_);
}
const Array& Variant::as_array() const {
  return *get_or_mismatch<ArrayBox>(value_).array;
}
Array& Variant::as_array() {
  return *const_cast<ArrayBox&>(get_or_mismatch<ArrayBox>(value_)).array;
}

void Variant::check_invariants() const {
  if (value_.valueless_by_exception()) throw std::logic_error("variant without a value");
  if (kind() == Kind::Array) {
    const auto& box = std::get<ArrayBox>(value_);
    if (!box.array) throw std::logic_error("array variant without an array");
    box.array->check_invariants();
  }
}

Array::Array(std::vector<Bounds> dimensions) : bounds_(std::move(dimensions)) {
  if (bounds_.empty() || bounds_.size() > 2) raise(RuntimeError::SubscriptOutOfRange);
  std::int64_t total = 1;
  for (const Bounds& b : bounds_) total *= b.count();
  data_.resize(static_cast<std::size_t>(total));
}

Array Array::of(std::vector<Variant> values) {
  Array a;
  a.bounds_ = {{0, static_cast<std::int32_t>(values.size()) - 1}};
  a.data_ = std::move(values);
  return a;
}

Array Array::table(std::int32_t columns, std::int32_t rows) {
  return Array({{0, columns - 1}, {0, rows - 1}});
}

Array Array::table(std::int32_t columns, std::vector<Variant> cells) {
  if (columns <= 0 || cells.size() % static_cast<std::size_t>(columns) != 0)
    raise(RuntimeError::SubscriptOutOfRange);
  Array a;
  auto rows = static_cast<std::int32_t>(cells.size() / static_cast<std::size_t>(columns));
  a.bounds_ = {{0, columns - 1}, {0, rows - 1}};
  a.data_ = std::move(cells);
  return a;
}

Array::Bounds Array::bounds(int dimension) const {
  if (dimension < 1 || dimension > dimensions()) raise(RuntimeError::SubscriptOutOfRange);
  return bounds_[static_cast<std::size_t>(dimension - 1)];
}

std::size_t Array::offset(std::int32_t i) const {
  if (bounds_.size() != 1) raise(RuntimeError::SubscriptOutOfRange);
  const Bounds& b = bounds_[0];
  if (i < b.lower || i > b.upper) raise(RuntimeError::SubscriptOutOfRange);
  return static_cast<std::size_t>(std::int64_t{i} - b.lower);
}

std::size_t Array::offset(std::int32_t column, std::int32_t row) const {
  if (bounds_.size() != 2) raise(RuntimeError::SubscriptOutOfRange);
  const Bounds& c = bounds_[0];
  const Bounds& r = bounds_[1];
  if (column < c.lower || column > c.upper || row < r.lower || row > r.upper) {
    raise(RuntimeError::SubscriptOutOfRange);
  }
  return static_cast<std::size_t>((std::int64_t{row} - r.lower) * c.count() +
                                  (std::int64_t{column} - c.lower));
}

Variant& Array::at(std::int32_t i) {
  return data_[offset(i)];
}
const Variant& Array::at(std::int32_t i) const {
  return data_[offset(i)];
}
Variant& Array::at(std::int32_t column, std::int32_t row) {
  return data_[offset(column, row)];
}
const Variant& Array::at(std::int32_t column, std::int32_t row) const {
  return data_[offset(column, row)];
}

void Array::check_invariants() const {
  if (bounds_.empty() || bounds_.size() > 2) throw std::logic_error("array of 0 or >2 dimensions");
  std::int64_t total = 1;
  for (const Bounds& b : bounds_) total *= b.count();
  if (static_cast<std::int64_t>(data_.size()) != total) {
    throw std::logic_error("array size does not match its bounds");
  }
  for (const Variant& v : data_) v.check_invariants();
}

}  // namespace tarvex::automation
