// RunEnvironment: the account and machine a run executes under, asked of the operating system
// on every call.
//
//   AccountName    the effective user's login name; its number when it has no entry
//   AccountDomain  the NIS/YP domain when one is set, else the short host name (a local
//                  account's domain is its machine)
//   MachineName    the host name up to its first "."
//   MachineDomain  the DNS domain: the part after the first "." of the host's canonical name,
//                  else the first domain of /etc/resolv.conf ("domain" or "search"), else
//                  "WORKGROUP" (a machine that belongs to no domain)
#pragma once

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class RunEnvironmentImpl : public contracts::RunEnvironment {
 public:
  std::string AccountDomain() override;
  std::string AccountName() override;
  std::string MachineDomain() override;
  std::string MachineName() override;
};

// The domain named by resolver configuration text: the first word after "domain" or "search"
// on the last such line (as the resolver reads it); "" when none.
std::string resolver_domain(std::string_view resolv_conf);

}  // namespace tarvex::companions::utilities
