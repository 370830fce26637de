// RunEnvironment against the operating system's own answers.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/utilities/run_environment.h"

namespace tarvex::companions::utilities {
namespace {

TEST(run_environment, answers_come_from_the_operating_system) {
  register_companions();
  auto environment = automation::create_new<contracts::RunEnvironment>();

  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  std::string short_host(host);
  short_host = short_host.substr(0, short_host.find('.'));
  EXPECT_EQ(environment->MachineName(), short_host);

  const passwd* user = ::getpwuid(::geteuid());
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(environment->AccountName(), user->pw_name);

  std::string domain = environment->MachineDomain();
  EXPECT_FALSE(domain.empty());
  EXPECT_NE(domain.front(), '.');
  EXPECT_FALSE(environment->AccountDomain().empty());
}

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
