/* A library that exports something, but not the entry symbol. */
#include "toggra/toggra_driver.h"

struct toggra_driver* toggra_driver_entry_v2(void) { return 0; }
