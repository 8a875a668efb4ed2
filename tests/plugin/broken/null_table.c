/* A plug-in that cannot work and says so by returning no table. */
#include "toggra/toggra_driver.h"

struct toggra_driver* toggra_driver_entry(void) { return 0; }
