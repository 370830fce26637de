// Document object model nodes: late-bound members over the tree of dom_tree.h.
#include "companions/dom/dom_node.h"

#include <array>
#include <typeinfo>

#include "automation/convert.h"
#include "automation/error.h"

namespace tarvex::companions::dom {

using automation::Args;
using automation::CallKind;
using automation::ObjectRef;
using automation::RuntimeError;
using automation::Variant;

namespace {
[[noreturn]] void refuse(std::string_view why) {
  automation::raise(RuntimeError::InvalidProcedureCall, why);
}

// One allocation for the handle and its count: a report wraps every element it appends.
struct Handle : DomNode {
  Handle(Shared* shared, NodeId id) : DomNode(shared, id) {}
};

// Handles come and go by the million, one for every appended element, and a caller holds few at
// a time: the blocks of the last ones freed on this thread serve the next without malloc.
template <class T>
struct HandleAllocator {
  using value_type = T;
  HandleAllocator() = default;
  template <class U>
  explicit HandleAllocator(const HandleAllocator<U>&) {}

  T* allocate(std::size_t n) {
    FreeList& list = free_list();
    if (n == 1 && list.head) {
      void* block = list.head;
      list.head = *static_cast<void**>(block);
      --list.count;
      return static_cast<T*>(block);
    }
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) {
    FreeList& list = free_list();
    if (n != 1 || list.count >= FreeList::kKept) {
      ::operator delete(p);
      return;
    }
    *reinterpret_cast<void**>(p) = list.head;
    list.head = p;
    ++list.count;
  }
  friend bool operator==(const HandleAllocator&, const HandleAllocator&) { return true; }

 private:
  struct FreeList {
    static constexpr std::size_t kKept = 64;
    void* head = nullptr;
    std::size_t count = 0;
  };
  // Frees the kept blocks when the thread ends; a block freed after that is not kept.
  struct Guard {
    FreeList& list;
    ~Guard() {
      while (list.head) {
        void* next = *static_cast<void**>(list.head);
        ::operator delete(list.head);
        list.head = next;
      }
      list.count = FreeList::kKept;
    }
  };
  static FreeList& free_list() {
    // Plain data, so it outlives every object of the thread that may still free a handle.
    thread_local FreeList list;
    thread_local Guard guard{list};
    return list;
  }
};

template <class Shared>
std::shared_ptr<Handle> new_handle(Shared* shared, NodeId id) {
  return std::allocate_shared<Handle>(HandleAllocator<Handle>(), shared, id);
}
}  // namespace

std::shared_ptr<DomNode> DomNode::create_document() {
  auto shared = std::make_unique<Shared>();
  std::shared_ptr<DomNode> document = new_handle(shared.get(), kDocumentNode);
  shared.release();  // its handles own it now
  return document;
}

DomNode* DomNode::from(automation::Object* object) {
  // Every node is a Handle: comparing the type alone is enough.
  return object && typeid(*object) == typeid(Handle) ? static_cast<Handle*>(object) : nullptr;
}

std::shared_ptr<DomNode> DomNode::wrap(NodeId node) const {
  return new_handle(shared_, node);
}

std::shared_ptr<DomNode> DomNode::createComment(std::string_view text) {
  if (!is_document()) automation::raise_unknown_member("createComment");
  return wrap(tree().new_comment(text));
}

const ObjectRef& DomNode::appendchild(const ObjectRef& child) {
  DomNode* node = from(child.get());
  if (!child) automation::raise(RuntimeError::ObjectNotSet);
  if (!node) automation::raise(RuntimeError::TypeMismatch);
  if (!shares_document(*node)) refuse("the node belongs to another document");
  if (const char* why = tree().cannot_append(id_, node->id_)) refuse(why);
  tree().append(id_, node->id_);
  return child;
}

void DomNode::set_text(std::string_view text) {
  if (is_document()) refuse("the document's text cannot be set");
  tree().set_text(id_, text);
}

namespace {
// Without a data type of its own, a node's typed value is its text.
Variant get_text(DomNode& self, Args& a) {
  a.expect(0);
  return self.text();
}

Variant put_text(DomNode& self, Args& a) {
  a.expect(1);
  const Variant& value = a[0];
  if (value.kind() == automation::Kind::String) {
    self.set_text(value.as_string());
  } else {
    self.set_text(automation::to_text(value));
  }
  return {};
}

}  // namespace

Variant DomNode::invoke(std::string_view member, CallKind kind, Args& args) {
  // Most used first: the report puts the Text of every cell.
  static const std::array<automation::Member<DomNode>, 6> members{{
      {"Text", CallKind::Put, put_text},
      {"Text", CallKind::Get, get_text},
      {"createComment", CallKind::Method,
       [](DomNode& self, Args& a) -> Variant {
         a.expect(1);
         return self.createComment(automation::to_text(a[0]));
       }},
      {"appendchild", CallKind::Method,
       [](DomNode& self, Args& a) -> Variant {
         a.expect(1);
         return self.appendchild(automation::object_of(a[0]));
       }},
      {"nodeTypedValue", CallKind::Get, get_text},
      {"nodeTypedValue", CallKind::Put, put_text},
  }};
  return automation::dispatch(*this, member, kind, args, members);
}

}  // namespace tarvex::companions::dom
