#include "reader_settings.hpp"

#include <cstdlib>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>

#include <Interface_Static.hxx>

namespace {

// Removed from the environment that the library reads.
void clearVariable(const char* name)
{
#ifdef _WIN32
    _putenv((std::string(name) + "=").c_str()); // "NAME=" removes it, there and for Windows
#else
    ::unsetenv(name);
#endif
}

struct Setting {
    const char* name;
    const char* value;
};

// The parameters of Interface_Static that a STEP read and transfer consult, with OCCT 7.6's
// defaults. Reals are given as text, as the library prints them.
const Setting textSettings[] = {
    {"read.precision.mode", "File"},
    {"read.maxprecision.mode", "Preferred"},
    {"read.stdsameparameter.mode", "Off"},
    {"read.surfacecurve.mode", "Default"},
    {"read.step.all.shapes", "Off"},
    {"read.step.assembly.level", "all"},
    {"read.step.codepage", "UTF8"},
    {"read.step.constructivegeom.relationship", "OFF"},
    {"read.step.ideas", "Off"},
    {"read.step.nonmanifold", "Off"},
    {"read.step.product.context", "all"},
    {"read.step.product.mode", "ON"},
    {"read.step.resource.name", "STEP"},
    {"read.step.root.transformation", "ON"},
    {"read.step.sequence", "FromSTEP"},
    {"read.step.shape.aspect", "ON"},
    {"read.step.shape.relationship", "ON"},
    {"read.step.shape.repr", "All"},
    {"xstep.cascade.unit", "MM"},
};

const struct {
    const char* name;
    double value;
} realSettings[] = {
    {"read.precision.val", 1e-3},
    {"read.maxprecision.val", 1.0},
    {"read.encoderegularity.angle", 0.01},
};

[[noreturn]] void failSetting(const char* name)
{
    throw std::logic_error(std::string("the STEP reader has no setting '") + name + "' to pin");
}

} // namespace

void pinReaderSettings()
{
    for (const Setting& setting : textSettings) {
        if (!Interface_Static::SetCVal(setting.name, setting.value)) failSetting(setting.name);
    }
    for (const auto& setting : realSettings) {
        if (!Interface_Static::SetRVal(setting.name, setting.value)) failSetting(setting.name);
    }
    // The healing sequence of read.step.sequence is looked up in the resource file named
    // read.step.resource.name, which these two name the directories of; without one the library
    // does its built-in healing.
    clearVariable("CSF_STEPDefaults");
    clearVariable("CSF_STEPUserDefaults");
}

std::string describeReaderSettings()
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(17);
    for (const Setting& setting : textSettings) text << setting.name << '=' << setting.value << '\n';
    for (const auto& setting : realSettings) text << setting.name << '=' << setting.value << '\n';
    return text.str();
}
