/* A plug-in that needs a function nothing provides: dlopen must fail. */
#include "toggra/toggra_driver.h"

extern struct toggra_driver* toggra_test_vendor_library_open(void);

struct toggra_driver* toggra_driver_entry(void) { return toggra_test_vendor_library_open(); }
