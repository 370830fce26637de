// RunEnvironment from the platform's account and computer names.
#include <windows.h>

#include <string>

#include "automation/com/com.h"
#include "companions/utilities/run_environment.h"

namespace tarvex::companions::utilities {

namespace {

constexpr std::string_view kNoDomain = "WORKGROUP";

std::string computer_name(COMPUTER_NAME_FORMAT format) {
  DWORD size = 0;
  GetComputerNameExW(format, nullptr, &size);
  if (size == 0) return {};
  std::wstring name(size, L'\0');
  if (!GetComputerNameExW(format, name.data(), &size)) return {};
  return automation::com::utf8(name.data(), size);
}

}  // namespace

std::string RunEnvironmentImpl::AccountName() {
  wchar_t name[257];
  DWORD size = 257;
  if (!GetUserNameW(name, &size) || size == 0) return "unknown";
  return automation::com::utf8(name, size - 1);  // the size counts the terminating zero
}

std::string RunEnvironmentImpl::AccountDomain() {
  const std::string domain = computer_name(ComputerNameDnsDomain);
  return domain.empty() ? MachineName() : domain;
}

std::string RunEnvironmentImpl::MachineName() {
  return computer_name(ComputerNameNetBIOS);
}

std::string RunEnvironmentImpl::MachineDomain() {
  const std::string domain = computer_name(ComputerNameDnsDomain);
  return domain.empty() ? std::string(kNoDomain) : domain;
}

}  // namespace tarvex::companions::utilities
