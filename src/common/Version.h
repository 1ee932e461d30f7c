#pragma once
// The program's version, defined once by the build (project(VERSION)).

namespace common {

inline constexpr char ProgramVersion[] = SONORET_VERSION;

} // namespace common
