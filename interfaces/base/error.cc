#include "interfaces/base/error.h"

namespace pelto {

std::string Error::display() const {
  std::string out = message_;
  for (const auto& line : contexts_) {
    out += '\n';
    out += line;
  }
  return out;
}

}  // namespace pelto
