#pragma once
// Trips for the simulated device: a driver's few weeks, or a file.
#include <string>
#include <vector>

#include "sim/device.h"

namespace riventar::sim {

// `count` trips (at most 255) of one driver from 4 March 2024 on: commutes
// on working days, errands, longer weekend drives. The same seed gives the
// same trips; all lie within the ranges the program accepts.
std::vector<DeviceTrip> RealisticTrips(int count, unsigned seed = 1);

// Replaces every third trip (from the second on) with one outside the
// accepted ranges, cycling through the ways a record can be out of range.
std::vector<DeviceTrip> WithInvalidTrips(std::vector<DeviceTrip> trips);

// One trip per line, '#' starts a comment:
//   "2024-03-04 08:15 1800 1500 90000 32000" -- date, start, then trip time
//       and time in motion in seconds, distance in 1/6000 km, fuel in 1/16000 l
//       (the weekday follows from the date);
//   42 hex digits -- the device's own layout, as a "$TR" reply carries it;
//   44 hex digits -- a trip line of the program's ".dat" files (whose three
//       header lines are skipped).
// Throws std::runtime_error naming the file and line of the first bad line.
std::vector<DeviceTrip> LoadTrips(const std::string& path);

}  // namespace riventar::sim
