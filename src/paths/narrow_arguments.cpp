// Native text is narrow here: the arguments are their own bytes.
#include "narrow_arguments.hpp"

std::string takeNarrowArguments(int, char**)
{
    return "";
}
