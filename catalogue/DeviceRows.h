#pragma once

#include <span>

#include "catalogue/DeviceCatalogue.h"

namespace pellion {

// One stored row: the code, its part name and its flash geometry.
struct DeviceRow {
    char code[5];
    char partName[13];
    DeviceGeometry geometry;
};

// The stored rows, in the order they were written (not code order).
std::span<const DeviceRow> deviceRows();

}  // namespace pellion
