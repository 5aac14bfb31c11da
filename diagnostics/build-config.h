// Values of the diagnostic engine fixed when the system is built.
#ifndef VUZ_DIAGNOSTICS_BUILD_CONFIG_H
#define VUZ_DIAGNOSTICS_BUILD_CONFIG_H

#define VUZ_BUG_REPORT_URL "https://vuz.invalid/bugs/"
#define VUZ_CWE_SITE_HOST "cwe.mitre.org"

#endif
