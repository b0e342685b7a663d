#pragma once

#include "face_table.hpp"

#include <cstdint>
#include <string>

/// The fill of a face in the picture, as 0xRRGGBB, before shading.
std::uint32_t listColour(FaceList list);

/// The light stripes over a face in both lists, as 0xRRGGBB.
constexpr std::uint32_t bothStripeColour = 0xdcc3e8;

/// The face edges, as 0xRRGGBB.
constexpr std::uint32_t edgeColour = 0x262626;

/// Appends `colour` as #rrggbb.
void appendColour(std::string& svg, std::uint32_t colour);

/// Appends `value` with one decimal, as picture coordinates are written.
void appendCoordinate(std::string& svg, double value);

/// Appends a path command and its point, such as "M12.5 40.0".
void appendPoint(std::string& svg, char command, double x, double y);
