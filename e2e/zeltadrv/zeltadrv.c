/* zeltadrv.sys: a simulated maker driver behind \\.\ZELTA, for the
 * end-to-end tests under 64-bit Wine and for development without the
 * hardware. Test equipment only: it is built for x64 and never shipped.
 *
 * Configuration, read once in DriverEntry from the "Parameters" subkey of the
 * driver's service key (HKLM\System\CurrentControlSet\Services\<service>\
 * Parameters). Slots are served from 0 upward: slot i exists while a value
 * "Slot<i>Name" exists (i in decimal, no gaps, at most 32 slots).
 *   Slot<i>Name    REG_SZ     the slot name, at most 127 UTF-16 units (the
 *                             library asks with 256 bytes, terminator
 *                             included); a longer name is refused like a
 *                             missing one, so the slots end before it. Its
 *                             third '#'-separated field should be a piece of
 *                             the served device's interface path
 *   Slot<i>Value   REG_DWORD  the slot value, which is also the number of the
 *                             device behind the slot; without it the slot's
 *                             value request fails and the slot has no device
 *   Slot<i>Serial  REG_SZ     the device's serial number (string descriptor 3,
 *                             language 0x0409), at most 126 units; without it
 *                             the device has no serial number
 *   Slot<i>UsbId   REG_DWORD  (vendor id << 16) | product id, reported in the
 *                             device descriptor; 0 when absent
 * Two slots with the same value are one device: the first slot's serial and
 * id count. Without the key the driver serves no slot.
 *
 * Requests (device number = little-endian ULONG at offset 0 of the input):
 *   SELECT_DEVICE   in 4   selects a served device on this handle
 *   LOCK            in 4   locks the device selected on this handle; a lock
 *                          held by this handle may be taken again
 *   UNLOCK          in 4   releases this handle's lock of the device
 *   GET_DESCRIPTOR  in 12  byte 4 descriptor index, byte 5 type, bytes 6-7
 *                          language: device (1/0), configuration (2/0),
 *                          language list (3/0) and serial (3/3, 0x0409);
 *                          the whole descriptor must fit the output buffer
 *   VENDOR_REQUEST  in 12  bytes 4-11 a vendor setup packet (type bits 0x40);
 *                          device-to-host fills wLength bytes with
 *                          (bRequest + wValue + i) & 0xFF, host-to-device
 *                          takes wLength bytes; count wLength; the buffer
 *                          must hold wLength bytes
 *   BULK_0          in 4   host-to-device: keeps the buffer (at most 4096
 *                          bytes, the rest is not taken); count taken
 *   BULK_1          in 4   device-to-host: returns what the last BULK_0 kept
 *                          and forgets it; count 0 when nothing is kept; the
 *                          buffer must hold it all
 *   GET_SLOT_NAME   in 1   the name with its terminating zero unit
 *   GET_SLOT_VALUE  in 1   the 4-byte value
 *   GET_INTERFACE_INFO in 4  28 bytes: USHORT length 28, interface 0,
 *                          alternate 0, class 8, subclass 6, protocol 0x50,
 *                          0, ULONG pipe count 2, then per pipe USHORT
 *                          packet size 512, endpoint (0x81, 0x02), interval
 *                          0, ULONG type 2 (bulk)
 *   STANDARD_REQUEST in 12 bytes 4-11 a USB setup packet: GET_STATUS,
 *                          GET_DESCRIPTOR (cut to wLength, as USB does),
 *                          GET_CONFIGURATION, SET_CONFIGURATION (0 or 1),
 *                          GET_INTERFACE; the buffer must hold wLength bytes
 * Every device request other than select, lock and unlock needs the device
 * locked by the same handle. Closing a handle releases its locks.
 *
 * Failures, as the caller's GetLastError reports them:
 *   unknown control code                       ERROR_INVALID_FUNCTION
 *   input of the wrong size                    ERROR_INVALID_PARAMETER
 *   slot not served, or its value missing      ERROR_NOT_FOUND
 *   device number not served                   ERROR_NO_SUCH_DEVICE
 *   lock without a select of that number on
 *   the handle, unlock or command without
 *   this handle's lock                         ERROR_BAD_COMMAND
 *   device locked by another handle            ERROR_SHARING_VIOLATION
 *   output buffer too small                    ERROR_INSUFFICIENT_BUFFER
 *   descriptor or request the device does
 *   not support (a USB stall)                  ERROR_NOT_SUPPORTED
 * A failed request returns no bytes and changes no state, except that a
 * failed select leaves nothing selected on the handle. */
#include <ntddk.h>

#define ZELTA_CODE(function, method) CTL_CODE(FILE_DEVICE_UNKNOWN, function, method, FILE_ANY_ACCESS)
#define IOCTL_ZELTA_SELECT_DEVICE ZELTA_CODE(0x803, METHOD_BUFFERED)
#define IOCTL_ZELTA_LOCK ZELTA_CODE(0x804, METHOD_BUFFERED)
#define IOCTL_ZELTA_UNLOCK ZELTA_CODE(0x805, METHOD_BUFFERED)
#define IOCTL_ZELTA_GET_DESCRIPTOR ZELTA_CODE(0x806, METHOD_IN_DIRECT)
#define IOCTL_ZELTA_VENDOR_REQUEST ZELTA_CODE(0x80A, METHOD_OUT_DIRECT)
#define IOCTL_ZELTA_BULK_1 ZELTA_CODE(0x80B, METHOD_OUT_DIRECT)
#define IOCTL_ZELTA_BULK_0 ZELTA_CODE(0x80C, METHOD_OUT_DIRECT)
#define IOCTL_ZELTA_GET_SLOT_NAME ZELTA_CODE(0x80D, METHOD_BUFFERED)
#define IOCTL_ZELTA_GET_SLOT_VALUE ZELTA_CODE(0x80E, METHOD_BUFFERED)
#define IOCTL_ZELTA_GET_INTERFACE_INFO ZELTA_CODE(0x80F, METHOD_BUFFERED)
#define IOCTL_ZELTA_STANDARD_REQUEST ZELTA_CODE(0x810, METHOD_OUT_DIRECT)

enum {
  kMaxSlots = 32,
  kNameUnits = 128,  /* 127 units and a terminator: the library's 256 bytes */
  kSerialUnits = 126, /* bLength is one byte: 2 + 2 * 126 = 254 */
  kEchoBytes = 4096,
  kInterfaceInfoBytes = 28,
  kMaxDescriptorBytes = 256,
  kTag = 0x6174655A /* 'Zeta' */
};

typedef struct Slot {
  WCHAR name[kNameUnits];
  ULONG nameUnits;
  BOOLEAN hasValue;
  BOOLEAN hasSerial;
  ULONG value;
  WCHAR serial[kSerialUnits + 1];
  ULONG serialUnits;
  ULONG usbId;
  /* Device state, used in the first slot of each device number. */
  FILE_OBJECT *lockOwner;
  UCHAR configuration;
  ULONG echoBytes;
  UCHAR echo[kEchoBytes];
} Slot;

/* State of one open handle, in its FILE_OBJECT's FsContext. */
typedef struct HandleState {
  BOOLEAN selected;
  ULONG selectedNumber;
} HandleState;

static Slot g_slots[kMaxSlots];
static ULONG g_slotCount;
static KSPIN_LOCK g_stateLock; /* guards the device state and every HandleState */
static DEVICE_OBJECT *g_device;

static const WCHAR kDeviceName[] = L"\\Device\\Zelta";
static const WCHAR kLinkName[] = L"\\DosDevices\\ZELTA";

/* ---- configuration ---- */

/* "Slot<index><suffix>" into out (32 units). */
static void SlotValueName(WCHAR *out, ULONG index, const WCHAR *suffix) {
  WCHAR digits[12];
  ULONG n = 0, i = 0;
  static const WCHAR kSlot[] = L"Slot";
  for (; kSlot[i]; ++i) out[i] = kSlot[i];
  do {
    digits[n++] = (WCHAR)(L'0' + index % 10);
    index /= 10;
  } while (index);
  while (n) out[i++] = digits[--n];
  while (*suffix && i < 31) out[i++] = *suffix++;
  out[i] = 0;
}

/* Reads value `name` of type `type` into data (at most `size` bytes). Returns
 * the data length, or -1 when the value is missing, of another type or too
 * long. */
static LONG ReadValue(HANDLE key, const WCHAR *name, ULONG type, void *data, ULONG size) {
  union {
    KEY_VALUE_PARTIAL_INFORMATION info;
    UCHAR raw[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 2 * kNameUnits + 8];
  } buf;
  UNICODE_STRING valueName;
  ULONG got = 0;
  RtlInitUnicodeString(&valueName, name);
  if (!NT_SUCCESS(ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, &buf, sizeof(buf), &got)))
    return -1;
  if (buf.info.Type != type || buf.info.DataLength > size) return -1;
  RtlCopyMemory(data, buf.info.Data, buf.info.DataLength);
  return (LONG)buf.info.DataLength;
}

/* A REG_SZ into units (without terminator), at most `capacity` - 1 units.
 * Returns the unit count or -1. */
static LONG ReadString(HANDLE key, const WCHAR *name, WCHAR *out, ULONG capacity) {
  LONG bytes = ReadValue(key, name, REG_SZ, out, capacity * sizeof(WCHAR));
  ULONG units;
  if (bytes < 0) return -1;
  units = (ULONG)bytes / sizeof(WCHAR);
  while (units && out[units - 1] == 0) --units; /* with or without its terminator */
  if (units >= capacity) return -1;
  out[units] = 0;
  return (LONG)units;
}

static void LoadConfiguration(const UNICODE_STRING *registryPath) {
  static const WCHAR kParameters[] = L"\\Parameters";
  WCHAR path[512];
  UNICODE_STRING keyPath;
  OBJECT_ATTRIBUTES attributes;
  HANDLE key;
  ULONG units = registryPath->Length / sizeof(WCHAR), i;
  /* A restarted service may find the image still loaded, with the last run's state. */
  RtlZeroMemory(g_slots, sizeof(g_slots));
  g_slotCount = 0;
  if (units + sizeof(kParameters) / sizeof(WCHAR) > sizeof(path) / sizeof(WCHAR)) return;
  RtlCopyMemory(path, registryPath->Buffer, units * sizeof(WCHAR));
  RtlCopyMemory(path + units, kParameters, sizeof(kParameters));
  RtlInitUnicodeString(&keyPath, path);
  InitializeObjectAttributes(&attributes, &keyPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return;
  for (i = 0; i < kMaxSlots; ++i) {
    Slot *slot = &g_slots[i];
    WCHAR name[32];
    LONG n;
    SlotValueName(name, i, L"Name");
    n = ReadString(key, name, slot->name, kNameUnits);
    if (n < 0) break;
    slot->nameUnits = (ULONG)n;
    SlotValueName(name, i, L"Value");
    slot->hasValue = ReadValue(key, name, REG_DWORD, &slot->value, sizeof(slot->value)) == 4;
    SlotValueName(name, i, L"Serial");
    n = ReadString(key, name, slot->serial, kSerialUnits + 1);
    slot->hasSerial = n >= 0;
    slot->serialUnits = n >= 0 ? (ULONG)n : 0;
    SlotValueName(name, i, L"UsbId");
    if (ReadValue(key, name, REG_DWORD, &slot->usbId, sizeof(slot->usbId)) != 4) slot->usbId = 0;
    slot->configuration = 1; /* configured, as after the host's enumeration */
    g_slotCount = i + 1;
  }
  ZwClose(key);
}

/* ---- request handling ---- */

typedef struct Request {
  const UCHAR *in; /* the input, already copied by the I/O manager */
  ULONG inLength;
  UCHAR *out;      /* the output: SystemBuffer or the mapped MDL */
  ULONG outLength;
  FILE_OBJECT *file;
  HandleState *handle;
  ULONG_PTR information; /* bytes returned */
} Request;

static ULONG ReadU32(const UCHAR *p) { return p[0] | (ULONG)p[1] << 8 | (ULONG)p[2] << 16 | (ULONG)p[3] << 24; }
static USHORT ReadU16(const UCHAR *p) { return (USHORT)(p[0] | p[1] << 8); }
static void WriteU16(UCHAR *p, ULONG v) {
  p[0] = (UCHAR)v;
  p[1] = (UCHAR)(v >> 8);
}

static Slot *FindDevice(ULONG number) {
  ULONG i;
  for (i = 0; i < g_slotCount; ++i)
    if (g_slots[i].hasValue && g_slots[i].value == number) return &g_slots[i];
  return NULL;
}

/* The device of a command: served, and locked by this handle. */
static NTSTATUS LockedDevice(const Request *r, Slot **device) {
  *device = FindDevice(ReadU32(r->in));
  if (!*device) return STATUS_NO_SUCH_DEVICE;
  if ((*device)->lockOwner != r->file) return STATUS_INVALID_DEVICE_STATE;
  return STATUS_SUCCESS;
}

/* Builds descriptor (type, index, language) of the device into out
 * (kMaxDescriptorBytes). Returns its length, 0 when the device has none. */
static ULONG BuildDescriptor(const Slot *device, UCHAR type, UCHAR index, USHORT language, UCHAR *out) {
  static const UCHAR kConfiguration[32] = {
      9, 2, 32, 0, 1, 1, 0, 0x80, 50,      /* one interface, bus powered, 100 mA */
      9, 4, 0, 0, 2, 8, 6, 0x50, 0,        /* mass storage, SCSI, bulk-only */
      7, 5, 0x81, 2, 0x00, 0x02, 0,        /* bulk in, 512 */
      7, 5, 0x02, 2, 0x00, 0x02, 0};       /* bulk out, 512 */
  ULONG i;
  if (type == 1 && index == 0) {
    static const UCHAR kDevice[18] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0, 0, 0, 0, 0x00, 0x01, 0, 0, 0, 1};
    RtlCopyMemory(out, kDevice, sizeof(kDevice));
    WriteU16(out + 8, device->usbId >> 16);
    WriteU16(out + 10, device->usbId & 0xFFFF);
    out[16] = device->hasSerial ? 3 : 0;
    return sizeof(kDevice);
  }
  if (type == 2 && index == 0) {
    RtlCopyMemory(out, kConfiguration, sizeof(kConfiguration));
    return sizeof(kConfiguration);
  }
  if (type == 3 && index == 0) { /* the language list: US English only */
    out[0] = 4;
    out[1] = 3;
    WriteU16(out + 2, 0x0409);
    return 4;
  }
  if (type == 3 && index == 3 && language == 0x0409 && device->hasSerial) {
    out[0] = (UCHAR)(2 + 2 * device->serialUnits);
    out[1] = 3;
    for (i = 0; i < device->serialUnits; ++i) WriteU16(out + 2 + 2 * i, device->serial[i]);
    return out[0];
  }
  return 0;
}

static NTSTATUS SelectDevice(Request *r) {
  ULONG number;
  if (r->inLength != 4) return STATUS_INVALID_PARAMETER;
  number = ReadU32(r->in);
  r->handle->selected = FALSE;
  if (!FindDevice(number)) return STATUS_NO_SUCH_DEVICE;
  r->handle->selected = TRUE;
  r->handle->selectedNumber = number;
  return STATUS_SUCCESS;
}

static NTSTATUS LockDevice(Request *r, BOOLEAN lock) {
  Slot *device;
  ULONG number;
  if (r->inLength != 4) return STATUS_INVALID_PARAMETER;
  number = ReadU32(r->in);
  device = FindDevice(number);
  if (!device) return STATUS_NO_SUCH_DEVICE;
  if (!lock) {
    if (device->lockOwner != r->file) return STATUS_INVALID_DEVICE_STATE;
    device->lockOwner = NULL;
    return STATUS_SUCCESS;
  }
  if (!r->handle->selected || r->handle->selectedNumber != number) return STATUS_INVALID_DEVICE_STATE;
  if (device->lockOwner && device->lockOwner != r->file) return STATUS_SHARING_VIOLATION;
  device->lockOwner = r->file;
  return STATUS_SUCCESS;
}

static NTSTATUS GetDescriptor(Request *r) {
  UCHAR descriptor[kMaxDescriptorBytes];
  Slot *device;
  ULONG length;
  NTSTATUS status;
  if (r->inLength != 12) return STATUS_INVALID_PARAMETER;
  if (!NT_SUCCESS(status = LockedDevice(r, &device))) return status;
  length = BuildDescriptor(device, r->in[5], r->in[4], ReadU16(r->in + 6), descriptor);
  if (!length) return STATUS_NOT_SUPPORTED;
  if (r->outLength < length) return STATUS_BUFFER_TOO_SMALL;
  RtlCopyMemory(r->out, descriptor, length);
  r->information = length;
  return STATUS_SUCCESS;
}

static NTSTATUS VendorRequest(Request *r) {
  Slot *device;
  UCHAR requestType, request;
  USHORT value, length, i;
  NTSTATUS status;
  if (r->inLength != 12) return STATUS_INVALID_PARAMETER;
  if (!NT_SUCCESS(status = LockedDevice(r, &device))) return status;
  requestType = r->in[4];
  request = r->in[5];
  value = ReadU16(r->in + 6);
  length = ReadU16(r->in + 10);
  if ((requestType & 0x60) != 0x40) return STATUS_NOT_SUPPORTED;
  if (r->outLength < length) return STATUS_BUFFER_TOO_SMALL;
  if (requestType & 0x80)
    for (i = 0; i < length; ++i) r->out[i] = (UCHAR)(request + value + i);
  r->information = length;
  return STATUS_SUCCESS;
}

static NTSTATUS BulkTransfer(Request *r, BOOLEAN toHost) {
  Slot *device;
  NTSTATUS status;
  ULONG count;
  if (r->inLength != 4) return STATUS_INVALID_PARAMETER;
  if (!NT_SUCCESS(status = LockedDevice(r, &device))) return status;
  if (toHost) {
    count = device->echoBytes;
    if (r->outLength < count) return STATUS_BUFFER_TOO_SMALL;
    RtlCopyMemory(r->out, device->echo, count);
    device->echoBytes = 0;
  } else {
    count = r->outLength < kEchoBytes ? r->outLength : kEchoBytes;
    RtlCopyMemory(device->echo, r->out, count);
    device->echoBytes = count;
  }
  r->information = count;
  return STATUS_SUCCESS;
}

static NTSTATUS GetSlotName(Request *r) {
  const Slot *slot;
  ULONG bytes, i;
  if (r->inLength != 1) return STATUS_INVALID_PARAMETER;
  if (r->in[0] >= g_slotCount) return STATUS_NOT_FOUND;
  slot = &g_slots[r->in[0]];
  bytes = (slot->nameUnits + 1) * sizeof(WCHAR);
  if (r->outLength < bytes) return STATUS_BUFFER_TOO_SMALL;
  for (i = 0; i <= slot->nameUnits; ++i) WriteU16(r->out + 2 * i, slot->name[i]); /* name[nameUnits] is 0 */
  r->information = bytes;
  return STATUS_SUCCESS;
}

static NTSTATUS GetSlotValue(Request *r) {
  const Slot *slot;
  if (r->inLength != 1) return STATUS_INVALID_PARAMETER;
  if (r->in[0] >= g_slotCount || !g_slots[r->in[0]].hasValue) return STATUS_NOT_FOUND;
  slot = &g_slots[r->in[0]];
  if (r->outLength < 4) return STATUS_BUFFER_TOO_SMALL;
  WriteU16(r->out, slot->value & 0xFFFF);
  WriteU16(r->out + 2, slot->value >> 16);
  r->information = 4;
  return STATUS_SUCCESS;
}

static NTSTATUS GetInterfaceInfo(Request *r) {
  static const UCHAR kInfo[kInterfaceInfoBytes] = {
      kInterfaceInfoBytes, 0, 0, 0, 8, 6, 0x50, 0, 2, 0, 0, 0,
      0x00, 0x02, 0x81, 0, 2, 0, 0, 0,
      0x00, 0x02, 0x02, 0, 2, 0, 0, 0};
  Slot *device;
  NTSTATUS status;
  if (r->inLength != 4) return STATUS_INVALID_PARAMETER;
  if (!NT_SUCCESS(status = LockedDevice(r, &device))) return status;
  if (r->outLength < kInterfaceInfoBytes) return STATUS_BUFFER_TOO_SMALL;
  RtlCopyMemory(r->out, kInfo, kInterfaceInfoBytes);
  r->information = kInterfaceInfoBytes;
  return STATUS_SUCCESS;
}

static NTSTATUS StandardRequest(Request *r) {
  UCHAR data[kMaxDescriptorBytes];
  Slot *device;
  NTSTATUS status;
  UCHAR requestType, request;
  USHORT value, index, length;
  ULONG available = 0;
  if (r->inLength != 12) return STATUS_INVALID_PARAMETER;
  if (!NT_SUCCESS(status = LockedDevice(r, &device))) return status;
  requestType = r->in[4];
  request = r->in[5];
  value = ReadU16(r->in + 6);
  index = ReadU16(r->in + 8);
  length = ReadU16(r->in + 10);
  if (r->outLength < length) return STATUS_BUFFER_TOO_SMALL;
  switch (requestType << 8 | request) {
    case 0x8000: /* GET_STATUS of the device, an interface or an endpoint */
    case 0x8100:
    case 0x8200:
      data[0] = data[1] = 0;
      available = 2;
      break;
    case 0x8006: /* GET_DESCRIPTOR: a longer descriptor is cut to wLength */
      available = BuildDescriptor(device, (UCHAR)(value >> 8), (UCHAR)value, index, data);
      if (!available) return STATUS_NOT_SUPPORTED;
      break;
    case 0x8008: /* GET_CONFIGURATION */
      data[0] = device->configuration;
      available = 1;
      break;
    case 0x0009: /* SET_CONFIGURATION: the one configuration, or none */
      if (value > 1) return STATUS_NOT_SUPPORTED;
      device->configuration = (UCHAR)value;
      break;
    case 0x810A: /* GET_INTERFACE of interface 0 */
      if (index != 0) return STATUS_NOT_SUPPORTED;
      data[0] = 0;
      available = 1;
      break;
    default:
      return STATUS_NOT_SUPPORTED;
  }
  if (available > length) available = length;
  RtlCopyMemory(r->out, data, available);
  r->information = available;
  return STATUS_SUCCESS;
}

static NTSTATUS Complete(IRP *irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS DispatchDeviceControl(DEVICE_OBJECT *deviceObject, IRP *irp) {
  IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  Request r;
  NTSTATUS status;
  KIRQL irql;
  (void)deviceObject;
  r.in = irp->AssociatedIrp.SystemBuffer;
  r.inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  r.outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  r.file = stack->FileObject;
  r.handle = r.file ? r.file->FsContext : NULL;
  r.information = 0;
  if (!r.handle) return Complete(irp, STATUS_INVALID_DEVICE_STATE, 0);
  if (r.inLength && !r.in) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  switch (METHOD_FROM_CTL_CODE(code)) {
    case METHOD_BUFFERED: /* one system buffer for input and output: handlers read before they write */
      r.out = irp->AssociatedIrp.SystemBuffer;
      break;
    case METHOD_IN_DIRECT:
    case METHOD_OUT_DIRECT: /* the caller's output buffer, locked and described by the MDL */
      r.out = NULL;
      if (r.outLength) {
        if (!irp->MdlAddress) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        r.out = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
        if (!r.out) return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
      }
      break;
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  KeAcquireSpinLock(&g_stateLock, &irql);
  switch (code) {
    case IOCTL_ZELTA_SELECT_DEVICE: status = SelectDevice(&r); break;
    case IOCTL_ZELTA_LOCK: status = LockDevice(&r, TRUE); break;
    case IOCTL_ZELTA_UNLOCK: status = LockDevice(&r, FALSE); break;
    case IOCTL_ZELTA_GET_DESCRIPTOR: status = GetDescriptor(&r); break;
    case IOCTL_ZELTA_VENDOR_REQUEST: status = VendorRequest(&r); break;
    case IOCTL_ZELTA_BULK_1: status = BulkTransfer(&r, TRUE); break;
    case IOCTL_ZELTA_BULK_0: status = BulkTransfer(&r, FALSE); break;
    case IOCTL_ZELTA_GET_SLOT_NAME: status = GetSlotName(&r); break;
    case IOCTL_ZELTA_GET_SLOT_VALUE: status = GetSlotValue(&r); break;
    case IOCTL_ZELTA_GET_INTERFACE_INFO: status = GetInterfaceInfo(&r); break;
    case IOCTL_ZELTA_STANDARD_REQUEST: status = StandardRequest(&r); break;
    default: status = STATUS_INVALID_DEVICE_REQUEST; break;
  }
  KeReleaseSpinLock(&g_stateLock, irql);
  return Complete(irp, status, r.information);
}

static NTSTATUS DispatchCreate(DEVICE_OBJECT *deviceObject, IRP *irp) {
  FILE_OBJECT *file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  HandleState *state;
  (void)deviceObject;
  if (!file) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  state = ExAllocatePoolWithTag(NonPagedPool, sizeof(*state), kTag);
  if (!state) return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  state->selected = FALSE;
  state->selectedNumber = 0;
  file->FsContext = state;
  return Complete(irp, STATUS_SUCCESS, 0);
}

/* The handle's locks end with it, at cleanup (last handle closed) and again
 * at close. */
static void ReleaseLocks(FILE_OBJECT *file) {
  KIRQL irql;
  ULONG i;
  KeAcquireSpinLock(&g_stateLock, &irql);
  for (i = 0; i < g_slotCount; ++i)
    if (g_slots[i].lockOwner == file) g_slots[i].lockOwner = NULL;
  KeReleaseSpinLock(&g_stateLock, irql);
}

static NTSTATUS DispatchCleanup(DEVICE_OBJECT *deviceObject, IRP *irp) {
  FILE_OBJECT *file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  (void)deviceObject;
  if (file) ReleaseLocks(file);
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchClose(DEVICE_OBJECT *deviceObject, IRP *irp) {
  FILE_OBJECT *file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  (void)deviceObject;
  if (file) {
    ReleaseLocks(file);
    if (file->FsContext) ExFreePoolWithTag(file->FsContext, kTag);
    file->FsContext = NULL;
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

static void DriverUnload(DRIVER_OBJECT *driver) {
  UNICODE_STRING link;
  (void)driver;
  RtlInitUnicodeString(&link, kLinkName);
  IoDeleteSymbolicLink(&link);
  if (g_device) IoDeleteDevice(g_device);
  g_device = NULL;
}

NTSTATUS DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registryPath);

NTSTATUS DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registryPath) {
  UNICODE_STRING deviceName, link;
  NTSTATUS status;
  KeInitializeSpinLock(&g_stateLock);
  LoadConfiguration(registryPath);
  RtlInitUnicodeString(&deviceName, kDeviceName);
  status = IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_device);
  if (!NT_SUCCESS(status)) return status;
  RtlInitUnicodeString(&link, kLinkName);
  status = IoCreateSymbolicLink(&link, &deviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(g_device);
    g_device = NULL;
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
  driver->DriverUnload = DriverUnload;
  g_device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
