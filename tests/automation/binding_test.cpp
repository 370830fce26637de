// Late binding, creation by ProgID and the error convention.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "automation/app.h"
#include "automation/collection.h"
#include "automation/convert.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "support/test_support.h"

namespace tarvex::automation {
namespace {

using test_support::error_number_of;

// Doubles its first argument in place and writes into the second, if any.
class Doubler : public Object {
 public:
  Variant invoke(std::string_view member, CallKind kind, Args& args) override {
    static constexpr std::array<Member<Doubler>, 2> kMembers{{
        {"Double", CallKind::Method,
         [](Doubler& d, Args& a) -> Variant {
           a.expect(1, 2);
           d.by_reference = {a.by_reference(0), a.by_reference(1)};
           a.ref(0) = Variant(to_long(a[0]) * 2);
           if (a.has(1)) a.ref(1) = Variant("written");
           return Variant("done");
         }},
        {"Value", CallKind::Put,
         [](Doubler&, Args& a) -> Variant {
           a.expect(1);
           return {};
         }},
    }};
    return dispatch(*this, member, kind, args, kMembers);
  }
  std::pair<bool, bool> by_reference;
};

TEST(late_binding, writes_back_by_reference_and_reports_the_usual_failures) {
  auto target = std::make_shared<Doubler>();
  Variant by_ref(std::int32_t{21}), by_value(std::int32_t{21}), out;
  EXPECT_EQ(to_text(call(target, "double", byref(by_ref), byref(out))), "done");
  EXPECT_EQ(to_long(by_ref), 42);
  EXPECT_EQ(to_text(out), "written");
  EXPECT_EQ(target->by_reference, std::make_pair(true, true));
  call(target, "DOUBLE", by_value, byref(out));
  EXPECT_EQ(to_long(by_value), 21);
  // A platform binding passes back only what the callee is told is the caller's own.
  EXPECT_EQ(target->by_reference, std::make_pair(false, true));

  EXPECT_EQ(error_number_of([&] { call(target, "Triple"); }), 438);
  EXPECT_EQ(error_number_of([&] { get(target, "Value"); }), 438);  // put-only member
  EXPECT_EQ(error_number_of([&] { call(target, "Double"); }), 450);
  EXPECT_EQ(error_number_of([&] { call(Variant(ObjectRef{}), "Double"); }), 91);
  EXPECT_EQ(error_number_of([&] { call(Variant("text"), "Double"); }), 424);
  EXPECT_EQ(error_number_of([&] { object_as<Collection>(Variant(target)); }), 13);
}

TEST(creation, finds_classes_by_progid_in_any_case_and_collections_count_from_one) {
  EXPECT_EQ(error_number_of([] { create_object("Nobody.Here"); }), 429);
  {
    ScopedProgId scoped("Test_83.Doubler", [] { return std::make_shared<Doubler>(); });
    EXPECT_NE(create_object("test_83.DOUBLER"), create_object("Test_83.Doubler"));
    // A creator (the platform's creation by ProgID) takes over; the table stays reachable.
    set_object_creator([](std::string_view) { return std::make_shared<Doubler>(); });
    EXPECT_NE(create_object("Nobody.Here"), nullptr);
    EXPECT_EQ(error_number_of([] { create_registered_object("Nobody.Here"); }), 429);
    EXPECT_NE(create_registered_object("Test_83.Doubler"), nullptr);
    set_object_creator(nullptr);
    EXPECT_EQ(error_number_of([] { create_object("Nobody.Here"); }), 429);
  }
  EXPECT_FALSE(is_progid_registered("Test_83.Doubler"));
}

// The items in order, walked as For Each walks them: through _NewEnum.
std::string walked(const std::shared_ptr<Collection>& c) {
  auto e = object_as<Enumerator>(get(c, "_NewEnum"));
  std::string out;
  for (Variant v; e->next(v);) out += to_text(v);
  return out;
}

TEST(collection, adds_by_position_and_key_finds_removes_and_enumerates) {
  auto c = Collection::create();
  call(c, "Add", "b", "KeyB");
  call(c, "Add", "d");
  call(c, "Add", "a", Variant(), "keyb");  // before the item keyed KeyB, in any case
  call(c, "Add", "c", Variant(), Variant(), std::int32_t{2});  // after the second
  EXPECT_EQ(walked(c), "abcd");
  EXPECT_EQ(to_long(get(c, "Count")), 4);
  EXPECT_EQ(to_text(get(c, "", std::int32_t{1})), "a");  // Item is the default member
  EXPECT_EQ(to_text(get(c, "Item", "KEYB")), "b");
  call(c, "Remove", "kEyB");
  call(c, "Remove", std::int32_t{1});
  EXPECT_EQ(walked(c), "cd");
  for (auto [what, fault, number] :
       std::initializer_list<std::tuple<const char*, std::function<void()>, int>>{
           {"index 0", [&] { c->item(0); }, 9},
           {"index past the end", [&] { call(c, "Remove", std::int32_t{3}); }, 9},
           {"unknown key", [&] { get(c, "Item", "nokey"); }, 5},
           {"key taken", [&] { call(c, "Add", "x", "k"), call(c, "Add", "y", "K"); }, 457},
           {"before and after", [&] { call(c, "Add", "z", Variant(), 1, 1); }, 5},
       }) {
    EXPECT_EQ(error_number_of(fault), number) << what;
  }
  // An enumerator walks the items of its moment; skip and reset move it, a clone keeps its place.
  auto e = c->enumerate();
  call(c, "Add", "late");
  EXPECT_TRUE(e->skip(1));
  auto copy = e->clone();
  Variant v;
  EXPECT_TRUE(copy->next(v) && to_text(v) == "d");
  EXPECT_FALSE(e->skip(3));
  EXPECT_FALSE(e->next(v));
  e->reset();
  EXPECT_TRUE(e->next(v) && to_text(v) == "c");
}

int inner_procedure() {
  return guarded<int>({"Inner", "Fails"}, [](int& result, std::int32_t& line) {
    result = 7;
    line = 110;
    throw Error(kObjectErrorBase + 1, "Somewhere.Else", "it broke");
  });
}

TEST(error_convention, logs_at_every_level_and_the_error_travels_on_unchanged) {
  test_support::ErrorLog log;
  auto e = test_support::error_of([] { guarded({"Outer", "Calls"}, [] { inner_procedure(); }); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), kObjectErrorBase + 1);
  EXPECT_EQ(e->source(), "Somewhere.Else");
  EXPECT_EQ(e->description(), "it broke");
  ASSERT_EQ(log.entries.size(), 2u);
  EXPECT_EQ(log.entries[0].application, ObjectRef(App()));
  EXPECT_EQ(log.entries[0].project, "Tarvex_83");
  EXPECT_EQ(log.of("Inner"), std::vector<std::string>{"Fails@110:" + std::to_string(e->number())});
  EXPECT_EQ(log.of("Outer"), std::vector<std::string>{"Calls@0:" + std::to_string(e->number())});

  log.entries.clear();
  EXPECT_EQ(error_number_of([] { guarded({"M", "P"}, [] { throw std::runtime_error("x"); }); }), 5);
  EXPECT_EQ(error_number_of([] { guarded({"M", "P"}, [] { throw std::bad_alloc(); }); }), 7);
  EXPECT_EQ(log.entries.size(), 2u);
}

// A logger that records nothing and raises nothing.
class QuietLogger : public Object {
 public:
  Variant invoke(std::string_view, CallKind, Args&) override { return {}; }
};

TEST(error_convention, ends_with_the_result_so_far_when_the_logger_does_not_raise) {
  ScopedProgId quiet{std::string(kErrorLoggerProgId),
                     [] { return std::make_shared<QuietLogger>(); }};
  EXPECT_EQ(inner_procedure(), 7);
}

TEST(error_patterns, skip_failing_statements_and_handle_errors_as_values) {
  std::vector<int> ran;
  skip_failures([&] { ran.push_back(1); }, [&] { raise(RuntimeError::Overflow); },
                [&] { ran.push_back(3); });
  EXPECT_EQ(ran, (std::vector<int>{1, 3}));

  std::int32_t handled = 0;
  handle_errors([] { raise(RuntimeError::TypeMismatch); },
                [&](const Error& e) { handled = e.number(); });
  EXPECT_EQ(handled, 13);
  EXPECT_EQ(error_number_of([] {
              handle_errors([] { raise(RuntimeError::TypeMismatch); },
                            [](const Error&) { raise(RuntimeError::SubscriptOutOfRange); });
            }),
            9);
}

}  // namespace
}  // namespace tarvex::automation
