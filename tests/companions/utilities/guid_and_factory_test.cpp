// GuidGenerator's registry form and uniqueness; ObjectFactory's version tag.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "automation/registry.h"
#include "companions/utilities/guid_generator.h"
#include "companions/utilities/object_factory.h"

namespace tarvex::companions::utilities {
namespace {

TEST(guid_generator, registry_form_and_never_the_same_twice) {
  GuidGeneratorImpl generator;
  const std::regex registry_form(
      R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    std::string guid = generator.NewGuidText();
    ASSERT_TRUE(std::regex_match(guid, registry_form)) << guid;
    ASSERT_TRUE(seen.insert(guid).second) << "repeated " << guid;
  }
}

class Probe : public automation::Object {};

TEST(object_factory, every_version_placeholder_is_replaced) {
  EXPECT_EQ(versioned_progid("A%vB%v"), "A83B83");
  auto probe = std::make_shared<Probe>();
  automation::ScopedProgId registered("Probe_83.Helper", [&] { return probe; });
  EXPECT_EQ(ObjectFactoryImpl().CreateVersionedObject("Probe_%v.Helper"), probe);
}

}  // namespace
}  // namespace tarvex::companions::utilities
