// Objects called by member name (late binding): the base class every dispatchable object
// derives from, the argument list of one call, and the call-site helpers.
//
// Member names match without regard to ASCII letter case. A property get also answers a call
// made as a method and the other way round; a property put answers only a put. An unknown
// member raises 438, a call on no object (Nothing) 91, a call on a value that is not an object
// 424, a wrong number of arguments 450.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "automation/error.h"
#include "automation/variant.h"

namespace tarvex::automation {

enum class CallKind { Method, Get, Put };

// The arguments of one call. Each refers to a variant of the caller's: a by-value argument to a
// copy made at the call site, a by-reference argument to the caller's own variable, so what the
// callee writes through ref() reaches the caller only for the latter.
class Args {
 public:
  // Bit i of `by_reference` set: argument i is the caller's own variable (a binding across a
  // process or platform boundary passes only those back).
  explicit Args(std::span<Variant* const> refs, std::uint64_t by_reference = 0)
      : refs_(refs), by_reference_(by_reference) {}

  std::size_t size() const { return refs_.size(); }
  bool has(std::size_t i) const { return i < refs_.size(); }
  const Variant& operator[](std::size_t i) const;
  Variant& ref(std::size_t i);
  // Raises 450 unless min <= size() <= max.
  void expect(std::size_t min, std::size_t max) const;
  void expect(std::size_t count) const { expect(count, count); }
  bool by_reference(std::size_t i) const { return i < 64 && (by_reference_ >> i & 1) != 0; }
  // Whether the callee took argument i through ref(): only those can have changed.
  bool written(std::size_t i) const { return i < 64 && (written_ >> i & 1) != 0; }

 private:
  std::span<Variant* const> refs_;
  std::uint64_t by_reference_;
  std::uint64_t written_ = 0;
};

class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;
  // The late-bound entry point. The default knows no member at all.
  virtual Variant invoke(std::string_view member, CallKind kind, Args& args);
};

// One entry of a class's member table; see dispatch().
template <class T>
struct Member {
  std::string_view name;
  CallKind kind;
  Variant (*call)(T& self, Args& args);
};

[[noreturn]] void raise_unknown_member(std::string_view member);

// Finds `member` in `table` and calls it; 438 when it is not there.
template <class T, std::size_t N>
Variant dispatch(T& self, std::string_view member, CallKind kind, Args& args,
                 const std::array<Member<T>, N>& table);

// Marks an argument to be passed by reference.
struct ByRef {
  Variant& value;
};
inline ByRef byref(Variant& value) {
  return ByRef{value};
}

// The object a variant refers to: 424 when it is not an object, 91 when it is Nothing.
const ObjectRef& object_of(const Variant& target);

namespace detail {
bool member_matches(std::string_view name, CallKind name_kind, std::string_view member,
                    CallKind kind);

// The callee's copy of a by-value argument; a by-reference one needs none.
template <class A>
Variant copy_of(A&& arg) {
  if constexpr (std::is_same_v<std::decay_t<A>, ByRef>) {
    return Variant();
  } else {
    return Variant(std::forward<A>(arg));
  }
}

template <class A>
Variant* ref_of(A& arg, Variant& copy) {
  if constexpr (std::is_same_v<std::decay_t<A>, ByRef>) {
    return &arg.value;
  } else {
    return &copy;
  }
}

template <class... A, std::size_t... I>
Variant invoke_each(const ObjectRef& target, std::string_view member, CallKind kind,
                    std::index_sequence<I...>, A&&... args) {
  // The copies are made in place: a report passes millions of texts.
  [[maybe_unused]] std::array<Variant, sizeof...(A)> copies{copy_of(std::forward<A>(args))...};
  std::array<Variant*, sizeof...(A)> refs{ref_of(args, copies[I])...};
  [[maybe_unused]] std::uint64_t by_reference = 0;
  ((by_reference |= std::uint64_t{std::is_same_v<std::decay_t<A>, ByRef>} << I), ...);
  Args list(refs, by_reference);
  return target->invoke(member, kind, list);
}

template <class... A>
Variant invoke(const ObjectRef& target, std::string_view member, CallKind kind, A&&... args) {
  if (!target) raise(RuntimeError::ObjectNotSet);
  return invoke_each(target, member, kind, std::index_sequence_for<A...>(),
                     std::forward<A>(args)...);
}
}  // namespace detail

// The object a call is made on: an object reference as it is, a variant through object_of().
inline const ObjectRef& target_object(const Variant& target) {
  return object_of(target);
}
template <class T>
requires std::is_base_of_v<Object, T> ObjectRef target_object(const std::shared_ptr<T>& target) {
  return target;
}

// call(): a method call. get(): a property read. put(): a property write, value last.
template <class Target, class... A>
Variant call(const Target& target, std::string_view member, A&&... args) {
  return detail::invoke(target_object(target), member, CallKind::Method, std::forward<A>(args)...);
}
template <class Target, class... A>
Variant get(const Target& target, std::string_view member, A&&... args) {
  return detail::invoke(target_object(target), member, CallKind::Get, std::forward<A>(args)...);
}
template <class Target, class... A>
void put(const Target& target, std::string_view member, A&&... args) {
  detail::invoke(target_object(target), member, CallKind::Put, std::forward<A>(args)...);
}

template <class T, std::size_t N>
Variant dispatch(T& self, std::string_view member, CallKind kind, Args& args,
                 const std::array<Member<T>, N>& table) {
  for (const Member<T>& m : table) {
    if (detail::member_matches(m.name, m.kind, member, kind)) return m.call(self, args);
  }
  raise_unknown_member(member);
}

// The reference as the interface T, or 13 (type mismatch) when the object is not one.
template <class T>
std::shared_ptr<T> object_as(const ObjectRef& object) {
  if (!object) raise(RuntimeError::ObjectNotSet);
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) raise(RuntimeError::TypeMismatch);
  return typed;
}
template <class T>
std::shared_ptr<T> object_as(const Variant& value) {
  return object_as<T>(object_of(value));
}

}  // namespace tarvex::automation
