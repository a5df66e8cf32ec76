// Reading the workspace's and the record's values: a value counts only when it is of the
// class the reader expects (dynamic_objc_cast), and an application is named by its bundle's
// file name.
#pragma once

#include <Foundation/Foundation.h>
#include <TypeCastsCocoa.h>

// The bundle file name without extension: …/Name.app gives Name; nil for a nil path.
inline NSString* fileNameOfPath(NSString* path) {
    return path ? path->lastPathComponent()->stringByDeletingPathExtension() : nullptr;
}
