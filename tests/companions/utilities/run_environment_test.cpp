// RunEnvironment: the machine's domain as the resolver configuration names it.
#include <gtest/gtest.h>

#include "companions/utilities/run_environment.h"

namespace tarvex::companions::utilities {
namespace {

TEST(run_environment, resolver_configuration_names_the_domain) {
  const std::pair<const char*, const char*> cases[] = {
      {"nameserver 10.0.0.1\n", ""},
      {"domain corp.example\nnameserver 10.0.0.1\n", "corp.example"},
      {"search lab.example other.example\n", "lab.example"},
      {"domain first.example\nsearch second.example.\n", "second.example"},
      {"# domain commented.example\n", ""},
  };
  for (const auto& [conf, domain] : cases) EXPECT_EQ(resolver_domain(conf), domain) << conf;
}

}  // namespace
}  // namespace tarvex::companions::utilities
