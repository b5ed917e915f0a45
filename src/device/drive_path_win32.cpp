// Drive numbers on Windows: the physical drives the system numbers from 0.
#include <string>

#include "device/drive.h"

namespace skelbrook {

std::string DriveNumberPath(unsigned long number) {
  return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

const char* DriveBoxLabel() {
  return "\\\\.\\PhysicalDrive";
}

}  // namespace skelbrook
