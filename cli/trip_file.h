#pragma once
// Trip files as the window loads and saves them, with the command line's
// exit statuses for what goes wrong.
#include <optional>
#include <string>

#include "core/trips/dat_file.h"

namespace riventar::cli {

// Reads and parses a .dat file. Throws Failure: FileIo when it cannot be
// read, NotTripFile when it holds no trips or not in the format. A missing
// file gives nothing when `missingIsEmpty`.
std::optional<trips::DatContents> LoadTripFile(const std::string& path, bool missingIsEmpty = false);

// The bytes of the .dat file trips are to be appended to, checked as
// LoadTripFile checks them; a file of the three vehicle lines alone will do.
// Nothing when the file is missing or empty. Throws Failure.
std::optional<std::string> LoadAppendTarget(const std::string& path);

// Whether WriteTripFile could replace or create the file, checked before the
// device is asked: a plain file or none, in a folder that exists and may be
// written. Throws Failure (FileIo).
void CheckOutputFile(const std::string& path);

// Replaces the file atomically, synced before it takes the old one's place.
// Throws Failure (FileIo).
void WriteTripFile(const std::string& path, const std::string& bytes);

}  // namespace riventar::cli
