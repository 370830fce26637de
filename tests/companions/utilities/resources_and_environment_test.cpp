// ComponentResources (the report file name, a style sheet that survives inside an XML comment)
// and RunEnvironment against the operating system's own answers.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>

#include "automation/app.h"
#include "automation/error.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/utilities/component_resources.h"
#include "companions/utilities/run_environment.h"
#include "support/test_support.h"

namespace tarvex::companions::utilities {
namespace {

TEST(component_resources, names_and_unknown_keys) {
  ComponentResourcesImpl resources;
  resources.Initialise(automation::App(), "Tarvex_83");
  EXPECT_EQ(resources.GetResourceText("Report File Name"), "MacroReport.html");
  auto e = test_support::error_of([&] { resources.GetResourceText("style sheet"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), 5);
  EXPECT_NE(e->description().find("'style sheet'"), std::string::npos);
}

TEST(component_resources, style_sheet_fits_a_comment_and_styles_the_report) {
  ComponentResourcesImpl resources;
  std::string css = resources.GetResourceText("Style Sheet");
  ASSERT_FALSE(css.empty());
  EXPECT_EQ(css.find("--"), std::string::npos) << "would end the XML comment early";
  EXPECT_NE(css.back(), '-');
  EXPECT_EQ(std::count(css.begin(), css.end(), '{'), std::count(css.begin(), css.end(), '}'));
  for (const char* needed : {"#tableofcontents", ".h1intoc", ".h5intoc", ".itemcountingraph",
                             ".paddingingraph", "white-space: pre-wrap"}) {
    EXPECT_NE(css.find(needed), std::string::npos) << needed;
  }
}

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
