// Start-up and the server entry points: registration by ProgID, the class factory, Main once per
// thread before the first object there.
#include "entry/server.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "automation/app.h"
#include "automation/error.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"
#include "entry/implementation.h"
#include "support/test_support.h"

namespace tarvex::entry {
namespace {

class RecordingResources : public contracts::ComponentResources {
 public:
  struct Call {
    automation::ObjectRef application;
    std::string project;
  };
  std::vector<Call> calls;
  void Initialise(const automation::ObjectRef& application, const std::string& project) override {
    calls.push_back({application, project});
  }
  std::string GetResourceText(const std::string&) override { return {}; }
};

// Makes an object on a thread of its own, as a host thread would, and says whether it is one.
bool makes_an_implementation(const std::function<automation::ObjectRef()>& make) {
  bool made = false;
  std::thread([&] {
    automation::ScopedShared<contracts::ComponentResources> resources(
        std::make_shared<RecordingResources>());
    made = std::dynamic_pointer_cast<Implementation>(make()) != nullptr;
  }).join();
  return made;
}

TEST(server, registers_the_class_and_its_factory_under_its_progid_only) {
  ASSERT_EQ(DllRegisterServer(), kS_OK);
  EXPECT_TRUE(makes_an_implementation(
      [] { return automation::create_object("tarvex_83.IMPLEMENTATION"); }));
  automation::ClassFactory factory;
  EXPECT_EQ(DllGetClassObject("Faultkit_83.Helper", factory), kClassNotAvailable);
  EXPECT_FALSE(factory);
  EXPECT_EQ(DllGetClassObject("Tarvex_83.Implementation", factory), kS_OK);
  ASSERT_TRUE(factory);
  EXPECT_TRUE(makes_an_implementation(factory));

  ASSERT_EQ(DllUnregisterServer(), kS_OK);
  EXPECT_EQ(test_support::error_number_of(
                [] { automation::create_object(contracts::kImplementationProgId); }),
            429);
  EXPECT_EQ(DllRegisterServer(), kS_OK);
  EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);
}

TEST(server, main_runs_once_on_each_thread_before_its_first_object) {
  ASSERT_EQ(DllRegisterServer(), kS_OK);
  auto on_a_thread = [] {
    auto resources = std::make_shared<RecordingResources>();
    automation::ScopedShared<contracts::ComponentResources> scope(resources);
    automation::ObjectRef first = automation::create_object(contracts::kImplementationProgId);
    automation::ObjectRef second = automation::create_object(contracts::kImplementationProgId);
    EXPECT_NE(first, second);
    ASSERT_EQ(resources->calls.size(), 1u);
    EXPECT_EQ(resources->calls[0].application, automation::App());
    EXPECT_EQ(resources->calls[0].project, "Tarvex_83");
  };
  std::thread(on_a_thread).join();
  std::thread(on_a_thread).join();
}

}  // namespace
}  // namespace tarvex::entry
