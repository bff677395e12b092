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

// Replaces the file atomically, synced before it takes the old one's place.
// Throws Failure (FileIo).
void WriteTripFile(const std::string& path, const std::string& bytes);

}  // namespace riventar::cli
