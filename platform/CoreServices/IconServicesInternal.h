// The layout behind IconRef: the file or folder an icon is for, and which icon it is.
#pragma once

#include <string>

#include "CoreServices/IconServices.h"
#include "CoreServices/IconsInternal.h"

class OpaqueIconRef final : public CFOpaqueObject<OpaqueIconRef> {
public:
    OpaqueIconRef(std::string path, frameworks::IconKind kind)
        : path_(std::move(path)), kind_(kind) {}

    // The file or folder whose icon this is.
    const std::string& path() const { return path_; }
    frameworks::IconKind kind() const { return kind_; }

    NSString* description() const override;

private:
    std::string path_;
    frameworks::IconKind kind_;
};
