// RunEnvironment from the user database, the host name and the resolver.
#include "companions/utilities/run_environment.h"

#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

namespace {

constexpr std::string_view kClass = "RunEnvironment";
constexpr std::string_view kNoDomain = "WORKGROUP";

std::string full_host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) {
    raise_file_error(kClass, errno, "cannot read the host name");
  }
  return name;
}

std::string short_name(const std::string& host) {
  return host.substr(0, host.find('.'));
}

std::string domain_part(const std::string& host) {
  std::size_t dot = host.find('.');
  return dot == std::string::npos ? std::string() : host.substr(dot + 1);
}

std::string canonical_name(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, &::freeaddrinfo);
  return found->ai_canonname ? found->ai_canonname : "";
}

}  // namespace

std::string resolver_domain(std::string_view resolv_conf) {
  std::istringstream lines{std::string(resolv_conf)};
  std::string line, domain;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string keyword, first;
    if (words >> keyword >> first && (keyword == "domain" || keyword == "search")) {
      domain = first;
    }
  }
  while (!domain.empty() && domain.back() == '.') domain.pop_back();
  return domain;
}

std::string RunEnvironmentImpl::AccountName() {
  uid_t uid = ::geteuid();
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found && found->pw_name && *found->pw_name) return found->pw_name;
  return std::to_string(uid);
}

std::string RunEnvironmentImpl::AccountDomain() {
  char nis[256] = {};
  if (::getdomainname(nis, sizeof nis - 1) == 0) {
    std::string domain(nis);
    if (!domain.empty() && domain != "(none)") return domain;
  }
  return MachineName();
}

std::string RunEnvironmentImpl::MachineName() {
  return short_name(full_host_name());
}

std::string RunEnvironmentImpl::MachineDomain() {
  std::string host = full_host_name();
  std::string domain = domain_part(host);
  if (domain.empty()) domain = domain_part(canonical_name(host));
  if (domain.empty()) {
    std::ifstream conf("/etc/resolv.conf");
    std::ostringstream text;
    text << conf.rdbuf();
    domain = resolver_domain(text.str());
  }
  return domain.empty() ? std::string(kNoDomain) : domain;
}

}  // namespace tarvex::companions::utilities
