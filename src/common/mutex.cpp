#include "common/mutex.h"

namespace norvale {

std::string MutexCreationFailureText(const std::string& name, bool nameExists) {
    return nameExists ? "mutex " + name + " already exists." : "could not create mutex " + name + ".";
}

}  // namespace norvale
