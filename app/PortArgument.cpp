#include "PortArgument.h"

#include <climits>
#include <cmath>
#include <cstdlib>

int portFromArguments(int argc, char** argv) {
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
        return kDefaultPort;
    }
    const double value = std::trunc(std::strtod(argv[1], nullptr));
    // Converting a double outside the int range is undefined behaviour.
    if (!std::isfinite(value) || value < INT_MIN || value > INT_MAX) {
        return 0;
    }
    return static_cast<int>(value);
}
