// How objects come into being: creation by ProgID through a registry of class factories,
// creation of declared classes "with new" through factories registered per interface, and the
// per-thread shared objects (one instance per thread, made on first use, never shared).
//
// Registration is process-wide and thread-safe; the system's own code only creates, so a test
// double, another driver or a real binding plugs in by registering a different factory.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <utility>

#include "automation/object.h"

namespace tarvex::automation {

using ClassFactory = std::function<ObjectRef()>;

// ProgIDs are matched without regard to ASCII letter case.
void register_progid(std::string_view progid, ClassFactory factory);
void unregister_progid(std::string_view progid);
bool is_progid_registered(std::string_view progid);
// A new object of the class registered under `progid`; 429 when none is. Goes through the
// object creator when one is set.
ObjectRef create_object(std::string_view progid);
// A new object of a class of this process's own table, never through the creator.
ObjectRef create_registered_object(std::string_view progid);

// Where create_object() makes objects instead of the table: a platform's own creation by
// ProgID (an in-process server whose classes are the platform's registered classes). Empty:
// the table again.
using ObjectCreator = std::function<ObjectRef(std::string_view progid)>;
void set_object_creator(ObjectCreator creator);

// Replaces a ProgID's factory for one scope (tests), restoring the previous one after.
class ScopedProgId {
 public:
  ScopedProgId(std::string progid, ClassFactory factory);
  ~ScopedProgId();
  ScopedProgId(const ScopedProgId&) = delete;
  ScopedProgId& operator=(const ScopedProgId&) = delete;

 private:
  std::string progid_;
  std::optional<ClassFactory> previous_;
};

namespace detail {
using AnyFactory = std::function<std::shared_ptr<void>()>;
void set_new_factory(std::type_index type, AnyFactory factory);
std::optional<AnyFactory> new_factory(std::type_index type);
void set_shared_factory(std::type_index type, AnyFactory factory);
std::optional<AnyFactory> shared_factory(std::type_index type);
// The number of `type`'s per-thread slot: the same on every thread, given on its first use.
std::size_t slot_index(std::type_index type);
// The calling thread's slot of that number; its address stays the same for the thread's life,
// at whose end the thread's slots are released.
std::shared_ptr<void>& thread_slot(std::size_t index);
inline std::shared_ptr<void>& thread_slot(std::type_index type) {
  return thread_slot(slot_index(type));
}
[[noreturn]] void raise_no_class(std::string_view name);
}  // namespace detail

// Declared classes created "with new": register the implementation of interface I once.
template <class I>
void register_new(std::function<std::shared_ptr<I>()> factory) {
  detail::set_new_factory(typeid(I),
                          [f = std::move(factory)] { return std::shared_ptr<void>(f()); });
}
// A new instance of the implementation registered for I; 429 when none is.
template <class I>
std::shared_ptr<I> create_new() {
  auto factory = detail::new_factory(typeid(I));
  if (!factory) detail::raise_no_class(typeid(I).name());
  return std::static_pointer_cast<I>((*factory)());
}

// Per-thread shared objects: register the implementation of I once; shared<I>() then gives the
// calling thread's instance, created on its first use there.
template <class I>
void register_shared(std::function<std::shared_ptr<I>()> factory) {
  detail::set_shared_factory(typeid(I),
                             [f = std::move(factory)] { return std::shared_ptr<void>(f()); });
}
template <class I>
I& shared() {
  // The report asks for its utilities several times per table cell: the slot's number is
  // found once per process, and the thread's slots by number. Nothing lives in thread_local
  // storage; the slots end with their thread (see thread_slot).
  static const std::size_t index = detail::slot_index(typeid(I));
  std::shared_ptr<void>& slot = detail::thread_slot(index);
  if (!slot) {
    auto factory = detail::shared_factory(typeid(I));
    if (!factory) detail::raise_no_class(typeid(I).name());
    slot = (*factory)();
  }
  return *static_cast<I*>(slot.get());
}

// The calling thread's own T, made on its first use there and released when the thread ends:
// per-thread state that keeps no object with a destructor in thread_local storage.
template <class T>
T& per_thread() {
  static const std::size_t index = detail::slot_index(typeid(T));
  std::shared_ptr<void>& slot = detail::thread_slot(index);
  if (!slot) slot = std::make_shared<T>();
  return *static_cast<T*>(slot.get());
}

// Puts `instance` in place of the calling thread's shared I for one scope (tests).
template <class I>
class ScopedShared {
 public:
  explicit ScopedShared(std::shared_ptr<I> instance)
      : previous_(std::exchange(detail::thread_slot(typeid(I)), std::move(instance))) {}
  ~ScopedShared() { detail::thread_slot(typeid(I)) = std::move(previous_); }
  ScopedShared(const ScopedShared&) = delete;
  ScopedShared& operator=(const ScopedShared&) = delete;

 private:
  std::shared_ptr<void> previous_;
};

// Replaces the factory of a class created with new for one scope (tests).
template <class I>
class ScopedNew {
 public:
  explicit ScopedNew(std::function<std::shared_ptr<I>()> factory)
      : previous_(detail::new_factory(typeid(I))) {
    register_new<I>(std::move(factory));
  }
  ~ScopedNew() {
    if (previous_)
      detail::set_new_factory(typeid(I), *previous_);
    else
      detail::set_new_factory(typeid(I), nullptr);
  }
  ScopedNew(const ScopedNew&) = delete;
  ScopedNew& operator=(const ScopedNew&) = delete;

 private:
  std::optional<detail::AnyFactory> previous_;
};

}  // namespace tarvex::automation
