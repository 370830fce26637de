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

// Makes two objects on a thread of its own, as a host thread would: both are the plug-in's, and
// Main ran there once, before the first.
void expect_implementations_on_a_thread(const std::function<automation::ObjectRef()>& make) {
  std::thread([&] {
    auto resources = std::make_shared<RecordingResources>();
    automation::ScopedShared<contracts::ComponentResources> scope(resources);
    automation::ObjectRef first = make(), second = make();
    EXPECT_NE(first, second);
    EXPECT_TRUE(std::dynamic_pointer_cast<Implementation>(first));
    EXPECT_TRUE(std::dynamic_pointer_cast<Implementation>(second));
    ASSERT_EQ(resources->calls.size(), 1u);
    EXPECT_EQ(resources->calls[0].application, automation::App());
    EXPECT_EQ(resources->calls[0].project, "Tarvex_83");
  }).join();
}

TEST(server, registers_the_class_and_its_factory_under_its_progid_only) {
  ASSERT_EQ(DllRegisterServer(), kS_OK);
  expect_implementations_on_a_thread(
      [] { return automation::create_object("tarvex_83.IMPLEMENTATION"); });
  automation::ClassFactory factory;
  EXPECT_EQ(DllGetClassObject("Faultkit_83.Helper", factory), kClassNotAvailable);
  EXPECT_FALSE(factory);
  EXPECT_EQ(DllGetClassObject("Tarvex_83.Implementation", factory), kS_OK);
  ASSERT_TRUE(factory);
  expect_implementations_on_a_thread(factory);

  ASSERT_EQ(DllUnregisterServer(), kS_OK);
  EXPECT_EQ(test_support::error_number_of(
                [] { automation::create_object(contracts::kImplementationProgId); }),
            429);
  EXPECT_EQ(DllRegisterServer(), kS_OK);
  EXPECT_EQ(DllCanUnloadNow(), kS_FALSE);
}

}  // namespace
}  // namespace tarvex::entry
