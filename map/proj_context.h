#pragma once

#include <memory>
#include <proj.h>
#include <string>

struct PjDeleter {
    void operator()(PJ* p) const { proj_destroy(p); }
};
using PjHandle = std::unique_ptr<PJ, PjDeleter>;

// A quiet, offline PROJ context for the few questions a calibration reader or
// writer asks, so that maps may be read on any thread. Its objects must go
// before it does.
class CProjContext {
public:
    CProjContext();
    ~CProjContext();
    CProjContext(const CProjContext&) = delete;
    CProjContext& operator=(const CProjContext&) = delete;

    PJ_CONTEXT* Get() const { return m_ctx; }
    // `crs` (a PROJ string, "EPSG:n" or WKT) as a coordinate system; null,
    // with `problem` saying why, when PROJ does not read it as one.
    PjHandle Crs(const std::string& crs, std::string& problem) const;

private:
    PJ_CONTEXT* m_ctx;
};
