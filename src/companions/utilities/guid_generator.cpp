// GuidGenerator over libuuid's random generator.
#include "companions/utilities/guid_generator.h"

#include <uuid/uuid.h>

namespace tarvex::companions::utilities {

std::string GuidGeneratorImpl::NewGuidText() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  std::string guid;
  guid.reserve(38);
  guid += '{';
  guid += text;
  guid += '}';
  return guid;
}

}  // namespace tarvex::companions::utilities
