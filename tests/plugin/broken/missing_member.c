/* A version-1 table without set_switch: refused, and released at once. */
#include "toggra/toggra_driver.h"

int released = 0;

static int Zero(void* context) {
  (void)context;
  return 0;
}
static int ZeroOf(void* context, int device) {
  (void)context;
  (void)device;
  return 0;
}
static int Config(void* context, int device, int* count, int* button) {
  (void)context;
  (void)device;
  (void)count;
  (void)button;
  return 0;
}
static int Get(void* context, int device, int id) {
  (void)context;
  (void)device;
  (void)id;
  return 0;
}
static int Multi(void* context, int device, unsigned long* mask, unsigned long* value, int seq) {
  (void)context;
  (void)device;
  (void)mask;
  (void)value;
  (void)seq;
  return -1;
}
static void Release(struct toggra_driver* driver) {
  (void)driver;
  ++released;
}

static struct toggra_driver table;

struct toggra_driver* toggra_driver_entry(void) {
  table.interface_version = TOGGRA_DRIVER_INTERFACE_VERSION;
  table.open_devices = Zero;
  table.device_type = ZeroOf;
  table.switch_config = Config;
  table.is_traffic_light = ZeroOf;
  table.version = ZeroOf;
  table.serial_number = ZeroOf;
  table.inverted = ZeroOf;
  table.get_switch = Get;
  table.get_multi_switch = Multi;
  table.reset_device = ZeroOf;
  table.release = Release;
  return &table;
}
