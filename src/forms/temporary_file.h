#pragma once

#include <string>

namespace forms {

// Names of the temporary files that a save writes beside its target.
class TemporaryNames {
public:
    // A name not used before by this process, without a folder.
    std::string next();
};

}
