/* A plug-in built for an interface version Toggra does not know. Its table
 * is static: Toggra must neither call nor release it. */
#include "toggra/toggra_driver.h"

int released = 0;

static void Release(struct toggra_driver* driver) {
  (void)driver;
  ++released;
}

static struct toggra_driver table = {.interface_version = TOGGRA_DRIVER_INTERFACE_VERSION + 1u,
                                     .release = Release};

struct toggra_driver* toggra_driver_entry(void) { return &table; }
