// The process-wide factory tables and the per-thread instance slots.
#include "automation/registry.h"

#include <pthread.h>

#include <deque>
#include <mutex>
#include <new>
#include <shared_mutex>

#include "automation/text.h"

namespace tarvex::automation {

namespace {

struct Tables {
  std::shared_mutex mutex;
  std::unordered_map<std::string, ClassFactory> progids;  // key: lower-case ProgID
  std::unordered_map<std::type_index, detail::AnyFactory> news;
  std::unordered_map<std::type_index, detail::AnyFactory> shareds;
  std::unordered_map<std::type_index, std::size_t> slot_indexes;  // see thread_slot
  ObjectCreator creator;
};

Tables& tables() {
  static Tables t;
  return t;
}

template <class Map, class Key>
auto find_copy(const Map& map, const Key& key) -> std::optional<typename Map::mapped_type> {
  std::shared_lock lock(tables().mutex);
  auto it = map.find(key);
  if (it == map.end()) return std::nullopt;
  return it->second;
}

template <class Map, class Key, class Value>
void store(Map& map, const Key& key, Value value) {
  std::unique_lock lock(tables().mutex);
  if (value)
    map[key] = std::move(value);
  else
    map.erase(key);
}

}  // namespace

void register_progid(std::string_view progid, ClassFactory factory) {
  store(tables().progids, ascii_lower(progid), std::move(factory));
}

void unregister_progid(std::string_view progid) {
  store(tables().progids, ascii_lower(progid), ClassFactory{});
}

bool is_progid_registered(std::string_view progid) {
  return find_copy(tables().progids, ascii_lower(progid)).has_value();
}

ObjectRef create_object(std::string_view progid) {
  ObjectCreator creator;
  {
    std::shared_lock lock(tables().mutex);
    creator = tables().creator;
  }
  if (creator) return creator(progid);
  return create_registered_object(progid);
}

void set_object_creator(ObjectCreator creator) {
  std::unique_lock lock(tables().mutex);
  tables().creator = std::move(creator);
}

ObjectRef create_registered_object(std::string_view progid) {
  auto factory = find_copy(tables().progids, ascii_lower(progid));
  if (!factory) detail::raise_no_class(progid);
  ObjectRef object = (*factory)();
  if (!object) detail::raise_no_class(progid);
  return object;
}

ScopedProgId::ScopedProgId(std::string progid, ClassFactory factory)
    : progid_(std::move(progid)), previous_(find_copy(tables().progids, ascii_lower(progid_))) {
  register_progid(progid_, std::move(factory));
}

ScopedProgId::~ScopedProgId() {
  register_progid(progid_, previous_ ? *previous_ : ClassFactory{});
}

namespace detail {

void set_new_factory(std::type_index type, AnyFactory factory) {
  store(tables().news, type, std::move(factory));
}
std::optional<AnyFactory> new_factory(std::type_index type) {
  return find_copy(tables().news, type);
}
void set_shared_factory(std::type_index type, AnyFactory factory) {
  store(tables().shareds, type, std::move(factory));
}
std::optional<AnyFactory> shared_factory(std::type_index type) {
  return find_copy(tables().shareds, type);
}

namespace {

// Growing at its end keeps a deque's elements in place: a slot keeps its address as others are
// added (a factory run by shared<I>() may ask for another interface while I's slot is held).
using Slots = std::deque<std::shared_ptr<void>>;

// A thread's slots hang on a thread-specific key, not in thread_local storage: a runtime may free
// thread_local storage before the destructors of its objects run when a thread ends (mingw's
// does), and the key's destructor runs on the ending thread while everything is still there.
pthread_key_t slots_key() {
  static const pthread_key_t key = [] {
    pthread_key_t made;
    if (pthread_key_create(&made, [](void* slots) { delete static_cast<Slots*>(slots); }) != 0) {
      throw std::bad_alloc();
    }
    return made;
  }();
  return key;
}

}  // namespace

std::size_t slot_index(std::type_index type) {
  std::unique_lock lock(tables().mutex);
  auto& indexes = tables().slot_indexes;
  return indexes.try_emplace(type, indexes.size()).first->second;
}

std::shared_ptr<void>& thread_slot(std::size_t index) {
  const pthread_key_t key = slots_key();
  auto* slots = static_cast<Slots*>(pthread_getspecific(key));
  if (!slots) {
    auto made = std::make_unique<Slots>();
    if (pthread_setspecific(key, made.get()) != 0) throw std::bad_alloc();
    slots = made.release();
  }
  if (index >= slots->size()) slots->resize(index + 1);
  return (*slots)[index];
}

void raise_no_class(std::string_view name) {
  raise(RuntimeError::CannotCreateObject, "no class is registered as '" + std::string(name) + "'");
}

}  // namespace detail
}  // namespace tarvex::automation
