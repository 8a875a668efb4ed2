/* A version-1 table without set_switch: refused, and released at once. The
 * other members are never called, so one stand-in serves for all of them. */
#include "toggra/toggra_driver.h"

int released = 0;

static void NeverCalled(void) {}
static void Release(struct toggra_driver* driver) {
  (void)driver;
  ++released;
}

#define STAND_IN(member) table.member = (__typeof__(table.member))NeverCalled

static struct toggra_driver table;

struct toggra_driver* toggra_driver_entry(void) {
  table.interface_version = TOGGRA_DRIVER_INTERFACE_VERSION;
  STAND_IN(open_devices);
  STAND_IN(device_type);
  STAND_IN(switch_config);
  STAND_IN(is_traffic_light);
  STAND_IN(version);
  STAND_IN(serial_number);
  STAND_IN(inverted);
  STAND_IN(get_switch);
  STAND_IN(get_multi_switch);
  STAND_IN(reset_device);
  table.release = Release;
  return &table;
}
