// The page's files, embedded into the program at build time
// (web_assets.cpp is generated from host/web/page/ by embed_assets.cmake).
#pragma once

#include <cstddef>

namespace zarn_host {

struct WebAsset {
    const char* path;  // "/index.html"
    const char* mime;
    const unsigned char* data;
    std::size_t size;
};

extern const WebAsset webAssets[];
extern const std::size_t webAssetCount;

}  // namespace zarn_host
