#pragma once
// Where the calibration file is kept: the user's configuration folder, so that a program
// started from anywhere finds it, and a "ui-calib.txt" in the working directory, read
// first when there is one, so that a calibration kept beside a set of pictures wins. The
// configuration folder follows the application's organisation and name, which the
// program sets before it asks.
#include <string>
#include <vector>

// The calibration file's name, in the working directory and in the configuration folder.
constexpr const char* kCalibFileName = "ui-calib.txt";

// The copy in the user's configuration folder (absolute).
std::string calibrationConfigPath();

// The files the program tries at start-up, in order: the working directory's first.
std::vector<std::string> calibrationSearchPaths();

// The first of the search paths that exists; empty when none does.
std::string findStartupCalibration();

// Writes text to path through writeFileAtomically (a reader sees the old file or the
// whole new one, a full disk leaves the old one), making the folder when it is missing.
// False with *why on failure ("cannot write PATH: No space left on device"); nothing is
// left behind then.
bool saveCalibrationCopy(const std::string& path, const std::string& text, std::string* why);
