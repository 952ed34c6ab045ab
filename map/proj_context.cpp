#include "map/proj_context.h"

CProjContext::CProjContext() : m_ctx(proj_context_create()) {
    // Its messages would go to standard error; the caller reports.
    proj_log_level(m_ctx, PJ_LOG_NONE);
    proj_context_set_enable_network(m_ctx, 0);
}

CProjContext::~CProjContext() {
    proj_context_destroy(m_ctx);
}

PjHandle CProjContext::Crs(const std::string& crs, std::string& problem) const {
    if (crs.find_first_not_of(" \t\r\n") == std::string::npos) {
        problem = "it is empty";
        return nullptr;
    }
    PjHandle pj{proj_create(m_ctx, crs.c_str())};
    if (pj && proj_is_crs(pj.get()))
        return pj;
    problem = pj ? "it is not a coordinate system" : "";
    if (!pj && crs.find('[') != std::string::npos) {
        // PROJ's own error text speaks of PROJ strings; the WKT parser says
        // what is wrong with the WKT.
        PROJ_STRING_LIST warnings = nullptr, errors = nullptr;
        PjHandle again{proj_create_from_wkt(m_ctx, crs.c_str(), nullptr, &warnings, &errors)};
        if (errors && errors[0])
            problem = errors[0];
        proj_string_list_destroy(warnings);
        proj_string_list_destroy(errors);
    }
    if (problem.empty()) {
        const char* text = proj_context_errno_string(m_ctx, proj_context_errno(m_ctx));
        problem = text && *text ? text : "PROJ cannot read it";
    }
    // One line: the WKT parser points at the place on the lines after it.
    problem = problem.substr(0, problem.find('\n'));
    if (const size_t at = problem.find(" Error occurred around"); at != std::string::npos)
        problem.resize(at);
    return nullptr;
}
