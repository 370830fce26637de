// Late binding, creation by ProgID, per-thread shared objects and the error convention.
#include <gtest/gtest.h>

#include <thread>

#include "automation/app.h"
#include "automation/collection.h"
#include "automation/convert.h"
#include "automation/error_object.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "support/test_support.h"

namespace tarvex::automation {
namespace {

using test_support::error_number_of;

// Doubles its first argument in place and writes the call kind into the second, if any.
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
         [](Doubler& d, Args& a) -> Variant {
           a.expect(1);
           d.value = to_text(a[0]);
           return {};
         }},
    }};
    return dispatch(*this, member, kind, args, kMembers);
  }
  std::string value;
  std::pair<bool, bool> by_reference;
};

TEST(late_binding, writes_back_only_arguments_passed_by_reference) {
  auto target = std::make_shared<Doubler>();
  Variant by_ref(std::int32_t{21});
  Variant by_value(std::int32_t{21});
  Variant out;
  EXPECT_EQ(to_text(call(target, "double", byref(by_ref), byref(out))), "done");
  EXPECT_EQ(to_long(by_ref), 42);
  EXPECT_EQ(to_text(out), "written");
  EXPECT_EQ(target->by_reference, std::make_pair(true, true));

  call(target, "DOUBLE", by_value, byref(out));
  EXPECT_EQ(to_long(by_value), 21);
  // A platform binding passes back only what the callee is told is the caller's own.
  EXPECT_EQ(target->by_reference, std::make_pair(false, true));

  put(target, "Value", "set");
  EXPECT_EQ(target->value, "set");
}

TEST(late_binding, reports_the_usual_failures) {
  auto target = std::make_shared<Doubler>();
  Variant nothing{ObjectRef{}};
  EXPECT_EQ(error_number_of([&] { call(target, "Triple"); }), 438);
  EXPECT_EQ(error_number_of([&] { get(target, "Value"); }), 438);  // put-only member
  EXPECT_EQ(error_number_of([&] { call(target, "Double"); }), 450);
  EXPECT_EQ(error_number_of([&] { call(nothing, "Double"); }), 91);
  EXPECT_EQ(error_number_of([&] { call(Variant("text"), "Double"); }), 424);
  EXPECT_EQ(error_number_of([&] { object_as<Collection>(Variant(target)); }), 13);

  try {
    call(target, "Triple");
  } catch (const Error& e) {
    EXPECT_EQ(e.description(), "Object doesn't support this property or method");
    EXPECT_EQ(e.source(), "Tarvex_83");
  }
}

TEST(collection, counts_adds_and_finds_items_from_one) {
  auto c = Collection::create();
  call(c, "Add", "a");
  call(c, "Add", std::int32_t{2});
  EXPECT_EQ(to_long(get(c, "Count")), 2);
  EXPECT_EQ(to_text(get(c, "Item", std::int32_t{1})), "a");
  EXPECT_EQ(to_text(c->item(2)), "2");
  EXPECT_EQ(error_number_of([&] { c->item(0); }), 9);
  EXPECT_EQ(error_number_of([&] { c->item(3); }), 9);
}

TEST(creation, finds_classes_by_progid_without_regard_to_case) {
  EXPECT_EQ(error_number_of([] { create_object("Nobody.Here"); }), 429);
  {
    ScopedProgId scoped("Test_83.Doubler", [] { return std::make_shared<Doubler>(); });
    ObjectRef one = create_object("test_83.DOUBLER");
    ObjectRef two = create_object("Test_83.Doubler");
    EXPECT_NE(one, two);

    // A creator (the platform's creation by ProgID) takes over; the table stays reachable.
    std::string asked;
    set_object_creator([&](std::string_view progid) {
      asked = progid;
      return std::make_shared<Doubler>();
    });
    EXPECT_EQ(error_number_of([] { create_registered_object("Nobody.Here"); }), 429);
    EXPECT_NE(create_object("Nobody.Here"), nullptr);
    EXPECT_EQ(asked, "Nobody.Here");
    EXPECT_NE(create_registered_object("Test_83.Doubler"), nullptr);
    set_object_creator(nullptr);
    EXPECT_EQ(error_number_of([] { create_object("Nobody.Here"); }), 429);
  }
  EXPECT_FALSE(is_progid_registered("Test_83.Doubler"));
}

struct Counter {
  virtual ~Counter() = default;
  int hits = 0;
};

TEST(shared_objects, are_one_per_thread_and_made_on_first_use) {
  int made = 0;
  register_shared<Counter>([&made] {
    ++made;
    return std::make_shared<Counter>();
  });
  shared<Counter>().hits++;
  shared<Counter>().hits++;
  EXPECT_EQ(shared<Counter>().hits, 2);
  EXPECT_EQ(made, 1);

  Counter* other = nullptr;
  std::thread([&] {
    shared<Counter>().hits += 10;
    other = &shared<Counter>();
    EXPECT_EQ(other->hits, 10);
  }).join();
  EXPECT_NE(other, &shared<Counter>());
  EXPECT_EQ(shared<Counter>().hits, 2);
  EXPECT_EQ(made, 2);
}

// Records every call it gets, then raises the error again unless told not to.
class RecordingLogger : public Object {
 public:
  struct Call {
    std::int32_t number;
    std::string source, description;
    std::string app_title;
    std::int32_t line;
    std::string project, module, procedure;
    Kind line_kind;
  };
  static inline std::vector<Call> calls;
  static inline bool reraise = true;

  Variant invoke(std::string_view member, CallKind, Args& args) override {
    EXPECT_EQ(member, "LogAndReRaiseVBError");
    args.expect(6);
    calls.push_back({to_long(get(args[0], "Number")), to_text(get(args[0], "Source")),
                     to_text(get(args[0], "Description")), to_text(get(args[1], "Title")),
                     args[2].kind() == Kind::Long ? args[2].as_long() : -1, to_text(args[3]),
                     to_text(args[4]), to_text(args[5]), args[2].kind()});
    if (reraise) call(args[0], "Raise");
    return {};
  }
};

class ErrorConvention : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordingLogger::calls.clear();
    RecordingLogger::reraise = true;
  }
  ScopedProgId logger_{std::string(kErrorLoggerProgId),
                       [] { return std::make_shared<RecordingLogger>(); }};
};

int inner_procedure() {
  return guarded<int>({"Inner", "Fails"}, [](int& result, std::int32_t& line) {
    result = 7;
    line = 110;
    throw Error(kObjectErrorBase + 1, "Somewhere.Else", "it broke");
  });
}

void outer_procedure() {
  guarded({"Outer", "Calls"}, [] { inner_procedure(); });
}

TEST_F(ErrorConvention, passes_six_arguments_in_order_and_logs_at_every_level) {
  try {
    outer_procedure();
    FAIL() << "the error should have travelled on";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kObjectErrorBase + 1);
    EXPECT_EQ(e.source(), "Somewhere.Else");
    EXPECT_EQ(e.description(), "it broke");
  }
  ASSERT_EQ(RecordingLogger::calls.size(), 2u);
  const auto& first = RecordingLogger::calls[0];
  EXPECT_EQ(first.number, kObjectErrorBase + 1);
  EXPECT_EQ(first.source, "Somewhere.Else");
  EXPECT_EQ(first.app_title, App()->title());
  EXPECT_EQ(first.line_kind, Kind::Long);
  EXPECT_EQ(first.line, 110);
  EXPECT_EQ(first.project, "Tarvex_83");
  EXPECT_EQ(first.module, "Inner");
  EXPECT_EQ(first.procedure, "Fails");
  const auto& second = RecordingLogger::calls[1];
  EXPECT_EQ(second.description, "it broke");
  EXPECT_EQ(second.line, 0);
  EXPECT_EQ(second.module, "Outer");
  EXPECT_EQ(second.procedure, "Calls");
}

TEST_F(ErrorConvention, ends_normally_with_the_result_so_far_when_the_logger_does_not_raise) {
  RecordingLogger::reraise = false;
  EXPECT_EQ(inner_procedure(), 7);
  EXPECT_EQ(RecordingLogger::calls.size(), 1u);
}

TEST_F(ErrorConvention, turns_stray_exceptions_into_errors) {
  EXPECT_EQ(error_number_of([] { guarded({"M", "P"}, [] { throw std::runtime_error("x"); }); }), 5);
  EXPECT_EQ(error_number_of([] { guarded({"M", "P"}, [] { throw std::bad_alloc(); }); }), 7);
  EXPECT_EQ(RecordingLogger::calls.size(), 2u);
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
