#include "core/settings.h"

namespace core {

Settings settings;

}  // namespace core
