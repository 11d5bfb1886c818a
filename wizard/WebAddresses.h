// The maker's web site and its download page, as the build names them (TROX_WEB_SITE,
// TROX_DOWNLOAD_PAGE).
#pragma once

constexpr const char* kWebSiteAddress = TROX_WEB_SITE;
constexpr const char* kDownloadPageAddress = TROX_DOWNLOAD_PAGE;
