#pragma once

#include <string>

/// Sets every parameter of the STEP reader that changes what a read or a transfer yields (the
/// read.step.*, precision and unit settings of Interface_Static) to the values tarnfold states,
/// OpenCASCADE 7.6's own defaults, and takes from the environment the resource files that would
/// add steps to the shape healing after the transfer (CSF_STEPDefaults, CSF_STEPUserDefaults):
/// the transfer then heals shapes the library's built-in way. Call before every read, so that
/// nothing else in the process or its environment changes the face numbers. Throws
/// std::logic_error when the library does not know a parameter.
void pinReaderSettings();

/// The settings that pinReaderSettings pins, one "name=value" line each, in the order it sets
/// them: what a model cache keys its entries by, with the library's version.
std::string describeReaderSettings();
