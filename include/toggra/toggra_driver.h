/*
 * toggra_driver.h: the interface through which a shared library (a driver
 * plug-in) gives Toggra its devices.
 *
 * Toggra loads a plug-in named by the device entry `plugin:PATH` with
 * dlopen(PATH), looks up the one symbol TOGGRA_DRIVER_ENTRY_SYMBOL and calls
 * it once. The entry returns a table of function pointers (struct
 * toggra_driver) whose first member is the interface version the plug-in was
 * built for. Toggra uses a table only when it knows that version; otherwise,
 * or when the library does not load, lacks the symbol, returns no table or
 * leaves a required member empty, Toggra says so once on stderr and goes on
 * without the entry.
 *
 * Nothing but C types crosses this interface: a plug-in may be written in C,
 * C++ or any language that can export a C function. Toggra calls every
 * member from one thread, one call at a time, so a plug-in needs no locks of
 * its own for Toggra's sake.
 *
 * Devices are numbered from 0 below the count `open_devices` returned; a
 * switch id is 16 + channel (channel from 0; on a traffic light 16 is red,
 * 17 yellow, 18 green). The meanings follow Toggra's device boundary: see
 * README.md, section "Driver plug-ins".
 *
 * Interface version 1. A later version gets a new number and a new table
 * layout; Toggra then refuses a table of a version it does not know rather
 * than call through a layout it cannot read.
 */
#ifndef TOGGRA_DRIVER_H
#define TOGGRA_DRIVER_H

#ifdef __cplusplus
extern "C" {
#endif

/* The version of the table below. */
#define TOGGRA_DRIVER_INTERFACE_VERSION 1u

/* The name of the entry function a plug-in exports. */
#define TOGGRA_DRIVER_ENTRY_SYMBOL "toggra_driver_entry"

/* Device type codes Toggra takes as switch devices. Type 40 is read with
 * get_multi_switch (all channels at once) instead of get_switch. */
#define TOGGRA_DRIVER_TYPE_SWITCH5 5
#define TOGGRA_DRIVER_TYPE_SWITCH8 8
#define TOGGRA_DRIVER_TYPE_MULTI_SWITCH 40
#define TOGGRA_DRIVER_TYPE_SWITCH48 48

/* The first switch id. */
#define TOGGRA_DRIVER_FIRST_SWITCH_ID 16

struct toggra_driver {
  /* TOGGRA_DRIVER_INTERFACE_VERSION as the plug-in was built. */
  unsigned int interface_version;
  /* The plug-in's own data, passed back as the first argument of every
   * member; Toggra never looks into it. */
  void* context;

  /* Finds the devices and returns how many there are (0 or less: none).
   * Toggra calls it first, before any other member, and may call it again;
   * each call renumbers the devices. Required. */
  int (*open_devices)(void* context);
  /* Type code of a device (see TOGGRA_DRIVER_TYPE_...). Required. */
  int (*device_type)(void* context, int device);
  /* Nonzero on success, with *switch_count set to the number of channels and
   * *button_available to whether the device has a button (0 if unsure).
   * Required. */
  int (*switch_config)(void* context, int device, int* switch_count, int* button_available);
  /* Nonzero for a traffic light (three lamps: ids 16, 17, 18). Required. */
  int (*is_traffic_light)(void* context, int device);
  /* Firmware version; with the type and serial it names the device's stored
   * settings, so it must stay the same from start to start. Required. */
  int (*version)(void* context, int device);
  /* Serial number; Toggra shows it in captions. Required. */
  int (*serial_number)(void* context, int device);
  /* 1 or 17 for a device whose channels switch inverted (Toggra then sends
   * 0 for on and 1 for off), else 0. Required. */
  int (*inverted)(void* context, int device);
  /* State of a switch id: 1 on, 0 off, negative unreachable. Required. */
  int (*get_switch)(void* context, int device, int switch_id);
  /* Switches id `switch_id` to `on` (1 or 0, as Toggra means it after the
   * inversion above); nonzero on success. Required. */
  int (*set_switch)(void* context, int device, int switch_id, int on);
  /* All channels at once (devices of type 40): negative on failure, else bit
   * n of *value is switch id 16 + n and *mask has a bit set for each channel
   * read. `seq` counts Toggra's calls. Required. */
  int (*get_multi_switch)(void* context, int device, unsigned long* mask, unsigned long* value,
                          int seq);
  /* Puts the device back to its power-on state; Toggra calls it for every
   * column when it ends. Nonzero on success. Required. */
  int (*reset_device)(void* context, int device);
  /* Writes the device's name, a NUL-terminated text of at most `size` bytes
   * with the NUL, into `buffer`: the DEVICE part of its channels' stable ids
   * `plugin:DEVICE:CHANNEL`. It should stay the same from start to start
   * (a serial number, a bus path) and contain no ':' or ';'. Returns nonzero
   * on success. Optional (NULL): the device number is used. */
  int (*device_name)(void* context, int device, char* buffer, unsigned long size);
  /* Optional (NULL reads as 0): a query Toggra makes between a failed
   * switch_config and its one retry, for devices that answer only after
   * being asked something else; its answer is not used. */
  int (*online_on_count)(void* context, int device);

  /* Releases the table and everything behind `context`. Toggra calls it once,
   * last, before it unloads the library. Required. */
  void (*release)(struct toggra_driver* driver);
};

/* The entry function: returns a new table, or NULL when the plug-in cannot
 * work (it may say why on stderr). Each call returns a table of its own. */
typedef struct toggra_driver* (*toggra_driver_entry_fn)(void);

#ifdef __cplusplus
}
#endif

#endif /* TOGGRA_DRIVER_H */
