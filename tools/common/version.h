// The version both host tools print with --version.
#pragma once
#define KOV_TOOLS_VERSION "1.1"
