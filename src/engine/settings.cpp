#include "engine/settings.h"

namespace engine {

Settings settings;

}  // namespace engine
