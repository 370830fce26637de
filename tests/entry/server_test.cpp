// Start-up and the server entry points: registration by ProgID, the class factory, Main once per
// thread before the first object there.
#include "entry/server.h"

#include <gtest/gtest.h>

#include <thread>

#include "automation/app.h"
#include "automation/error.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"
#include "entry/implementation.h"

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

TEST(server, registers_the_class_under_its_progid_and_unregisters_it) {
  ASSERT_EQ(DllRegisterServer(), kS_OK);
  std::thread([] {
    automation::ScopedShared<contracts::ComponentResources> resources(
        std::make_shared<RecordingResources>());
    automation::ObjectRef object = automation::create_object("tarvex_83.IMPLEMENTATION");
    EXPECT_TRUE(std::dynamic_pointer_cast<Implementation>(object));
  }).join();

  ASSERT_EQ(DllUnregisterServer(), kS_OK);
  try {
    automation::create_object(contracts::kImplementationProgId);
    ADD_FAILURE() << "still registered";
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.number(), 429);
  }
  EXPECT_EQ(DllRegisterServer(), kS_OK);
  EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);
}

TEST(server, class_factory_only_for_its_own_class) {
  automation::ClassFactory factory;
  EXPECT_EQ(DllGetClassObject("Faultkit_83.Helper", factory), kClassNotAvailable);
  EXPECT_FALSE(factory);
  EXPECT_EQ(DllGetClassObject("Tarvex_83.Implementation", factory), kS_OK);
  ASSERT_TRUE(factory);
  std::thread([&] {
    automation::ScopedShared<contracts::ComponentResources> resources(
        std::make_shared<RecordingResources>());
    EXPECT_TRUE(std::dynamic_pointer_cast<Implementation>(factory()));
  }).join();
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
