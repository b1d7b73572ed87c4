// The text of a complete control file: every label line with a comment
// saying what its value means, the settings, the tables and the map.
#pragma once

#include <string>
#include <vector>

#include "options.h"
#include "tables.h"

// origin is a short note of what the file was made from, placed on the first
// line; morgans are the markers' map positions.
std::string controlText(const ControlData &data, const std::vector<double> &morgans,
                        const Options &options, const std::string &origin);
// The map positions as the control file writes them: at least 8 significant
// digits, more where neighbours would otherwise print alike.
std::vector<std::string> mapTexts(const std::vector<double> &morgans);
