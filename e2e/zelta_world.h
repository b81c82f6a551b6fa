/* Fake USB devices and disks in a Wine prefix, made with SetupAPI the way
 * Wine lists them: a registered device with one interface, listed as present
 * once its interface's "Linked" value is 1. The devices' Enum keys take the
 * "ParentIdPrefix" values, and MountedDevices the media names. */
#ifndef ZELTA_WORLD_H
#define ZELTA_WORLD_H

#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <string.h>

static const GUID world_usb = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
static const GUID world_disk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

static const char *world_class_text(const GUID *cls) {
  return cls == &world_usb ? "{a5dcbf10-6530-11d2-901f-00c04fb951ed}" : "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

static int world_set_dword(const char *key, const char *name, DWORD value) {
  HKEY k;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k, NULL);
  if (rc != ERROR_SUCCESS) return 0;
  rc = RegSetValueExA(k, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
  RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

static int world_set_bytes(const char *key, const char *name, DWORD type, const void *data, DWORD size) {
  HKEY k;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k, NULL);
  if (rc != ERROR_SUCCESS) return 0;
  rc = RegSetValueExA(k, name, 0, type, (const BYTE *)data, size);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

/* The interface's "Linked" value decides whether DIGCF_PRESENT lists it. */
static int world_link(const GUID *cls, const char *path, DWORD linked) {
  char link[512], key[1024];
  size_t i;
  /* The symbolic link with its \\?\ written as ##?# and every \ as #. */
  _snprintf(link, sizeof(link), "##?#%s", path + 4);
  link[sizeof(link) - 1] = 0;
  for (i = 0; link[i]; ++i)
    if (link[i] == '\\') link[i] = '#';
  _snprintf(key, sizeof(key), "System\\CurrentControlSet\\Control\\DeviceClasses\\%s\\%s\\#\\Control",
            world_class_text(cls), link);
  key[sizeof(key) - 1] = 0;
  return world_set_dword(key, "Linked", linked);
}

/* Registers device instanceId with an interface of class cls, present; its
 * Enum key gets parentIdPrefix unless that is null. The interface path goes
 * to path. */
static int world_add(const GUID *cls, const char *instanceId, const char *parentIdPrefix, char *path, size_t size) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(NULL, NULL);
  SP_DEVINFO_DATA dev;
  SP_DEVICE_INTERFACE_DATA itf;
  union {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
    char raw[1024];
  } buf;
  int ok;
  if (set == INVALID_HANDLE_VALUE) return 0;
  dev.cbSize = sizeof(dev);
  itf.cbSize = sizeof(itf);
  buf.detail.cbSize = sizeof(buf.detail);
  ok = SetupDiCreateDeviceInfoA(set, instanceId, cls, NULL, NULL, 0, &dev) &&
       SetupDiRegisterDeviceInfo(set, &dev, 0, NULL, NULL, NULL) &&
       SetupDiCreateDeviceInterfaceA(set, &dev, cls, NULL, 0, &itf) &&
       SetupDiGetDeviceInterfaceDetailA(set, &itf, &buf.detail, sizeof(buf), NULL, NULL);
  SetupDiDestroyDeviceInfoList(set);
  if (!ok) {
    printf("cannot make device %s: error %lu\n", instanceId, GetLastError());
    return 0;
  }
  strncpy(path, buf.detail.DevicePath, size - 1);
  path[size - 1] = 0;
  if (parentIdPrefix != NULL) {
    char key[512];
    _snprintf(key, sizeof(key), "System\\CurrentControlSet\\Enum\\%s", instanceId);
    key[sizeof(key) - 1] = 0;
    if (!world_set_bytes(key, "ParentIdPrefix", REG_SZ, parentIdPrefix, (DWORD)strlen(parentIdPrefix) + 1))
      return 0;
  }
  return world_link(cls, path, 1);
}

/* \DosDevices\X: names the removable medium whose disk carries prefix, as
 * UTF-16LE binary data like Windows keeps it. */
static int world_mount(char letter, const char *prefix) {
  char text[256];
  WCHAR wide[256];
  char name[] = "\\DosDevices\\A:";
  int i, n;
  n = _snprintf(text, sizeof(text), "\\??\\STORAGE#RemovableMedia#%s&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}",
                prefix);
  for (i = 0; i < n; ++i) wide[i] = (WCHAR)(unsigned char)text[i];
  name[12] = letter;
  return world_set_bytes("System\\MountedDevices", name, REG_BINARY, wide, (DWORD)(n * sizeof(WCHAR)));
}

/* The machine most tests start from: reader A, 0abc:1234 with serial number
 * 0123ABC, whose disks carry E: and G:; reader B, 0abc:1234 without one,
 * whose disk carries F:. Reader A's interface path goes to readerA. Returns
 * nonzero when every part was made. */
static __inline int world_two_readers(char *readerA, size_t size) {
  char path[256];
  return world_add(&world_usb, "USB\\VID_0ABC&PID_1234\\0123ABC", "6&a0&0", readerA, size) &&
         world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_CF&REV_1.00\\0123ABC&1", "7&aa&0", path, sizeof(path)) &&
         world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_SD&REV_1.00\\0123ABC&0", "7&bb&0", path, sizeof(path)) &&
         world_mount('G', "7&aa&0") && world_mount('E', "7&bb&0") &&
         world_add(&world_usb, "USB\\VID_0ABC&PID_1234\\5&2A3B4C5D&0&2", "6&1f2e3d4c&0", path, sizeof(path)) &&
         world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_MS&REV_1.00\\6&1F2E3D4C&0&0", "7&cc&0", path,
                   sizeof(path)) &&
         world_mount('F', "7&cc&0");
}

/* The paths of the present interfaces of cls, in the order SetupAPI gives
 * them, into paths[count][256]; returns the count. */
static __inline int world_list(const GUID *cls, char (*paths)[256], int max) {
  HDEVINFO set = SetupDiGetClassDevsA(cls, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA itf;
  union {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
    char raw[1024];
  } buf;
  int n = 0;
  DWORD i;
  if (set == INVALID_HANDLE_VALUE) return 0;
  for (i = 0; n < max; ++i) {
    itf.cbSize = sizeof(itf);
    if (!SetupDiEnumDeviceInterfaces(set, NULL, cls, i, &itf)) break;
    buf.detail.cbSize = sizeof(buf.detail);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &itf, &buf.detail, sizeof(buf), NULL, NULL)) continue;
    strncpy(paths[n], buf.detail.DevicePath, 255);
    paths[n][255] = 0;
    ++n;
  }
  SetupDiDestroyDeviceInfoList(set);
  return n;
}

#endif
