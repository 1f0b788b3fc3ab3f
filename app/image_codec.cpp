#include "app/image_codec.h"

namespace globaro {

std::string readFailure(const std::string& path, const char* message) {
    return "cannot read \"" + path + "\": " + (message[0] != 0 ? message : "the file is damaged");
}

std::string writeFailure(const std::string& path, const char* message) {
    return "cannot write \"" + path + "\": " + (message[0] != 0 ? message : "the file could not be written");
}

}  // namespace globaro
