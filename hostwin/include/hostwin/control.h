// Test-control API of the in-memory Win32 world. Only tests include this.
//
// Every simulated function records itself (name and the arguments that matter)
// and consults the fault plan before it acts. Each area of the world (registry,
// services, ...) registers a reset hook and an open-handle counter, so that
// Reset() and OpenHandleCount() cover whatever the test binary links in.
#pragma once

#include <hostwin/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace hostwin {

struct Call {
  std::string fn;    // "RegOpenKeyExA"
  std::string args;  // the arguments that matter, e.g. "HKLM\\Software\\Travenne"
};

// Back to a fresh machine: every area cleared, no calls recorded, no faults
// planned, last error 0.
void Reset();

// Calls recorded since the last Reset() or ClearCalls().
const std::vector<Call>& Calls();
std::vector<Call> CallsOf(const std::string& fn);
std::size_t CallCount(const std::string& fn);
// Calls whose function name starts with prefix ("Reg" for the whole registry).
std::size_t CallCountMatching(const std::string& prefix);
void ClearCalls();

// Fault plan; calls are counted from the moment the plan is made. A failing
// close (RegCloseKey, CloseHandle, ...) still releases its handle. The failing call returns its function's failure value and, where
// the function reports through GetLastError, sets error as the last error;
// registry functions return error itself.
void FailNth(const std::string& fn, std::size_t n, DWORD error);        // the nth call of fn, 1-based
void FailAll(const std::string& fn, DWORD error);                       // every call of fn
void FailNthMatching(const std::string& prefix, std::size_t n, DWORD error);  // the nth call of any fn with prefix
void ClearFaults();

// Handles of every area that are open now (keys, service handles, files, ...).
std::size_t OpenHandleCount();
std::string DescribeOpenHandles();

// System facts.
void SetSystemDirectory(const std::string& dir);   // default "C:\\WINDOWS\\system32"
void SetWindowsDirectory(const std::string& dir);  // default "C:\\WINDOWS"
void SetLogicalDrives(DWORD mask);                 // default C: only

namespace detail {
// Called first by each simulated function. Returns true when the fault plan
// makes this call fail, with the error to report in *error.
bool Enter(const char* fn, std::string args, DWORD* error);

struct Area {
  const char* name;
  void (*reset)();
  std::size_t (*openHandles)();
  std::string (*describeOpen)();
};
// Registers an area; use from a static initialiser in the area's source file.
// The area is reset once right away.
bool RegisterArea(const Area& area);

// Kernel object handles (files, devices) shared by every area: CloseHandle
// finds the object here and calls its onClose. The handles are counted by
// OpenHandleCount() under "kernel objects".
HANDLE NewKernelHandle(const std::string& what, void (*onClose)(HANDLE, void*), void* context);
// The description given at creation, or nullptr for an unknown handle.
const std::string* KernelHandle(HANDLE h);
}  // namespace detail

// ---- registry ----
namespace registry {

struct Value {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;  // as Windows keeps it (a string may have gained its NUL)
  DWORD written = 0;       // the byte count the last writer passed
  // The first `written` bytes as text: what the writer handed over.
  std::string Written() const { return std::string(data.begin(), data.begin() + written); }
};

// Paths are "HKLM\\Software\\Travenne" style: root abbreviation (HKLM, HKCR,
// HKCU, HKU) or full root name, then the subkey path. Names are compared
// without regard to case.
bool CreateKey(const std::string& path, bool isVolatile = false);
bool KeyExists(const std::string& path);
bool IsVolatile(const std::string& path);
bool DeleteTree(const std::string& path);
std::vector<std::string> SubKeys(const std::string& path);
std::vector<std::string> ValueNames(const std::string& path);

// Creates missing keys on the way.
void SetValue(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& data);
void SetString(const std::string& path, const std::string& name, const std::string& text, bool withTerminator = true);
void SetDword(const std::string& path, const std::string& name, DWORD value);
// UTF-16LE text of 8-bit characters as REG_BINARY, as Windows keeps mounted devices.
void SetWideBinary(const std::string& path, const std::string& name, const std::string& text);

bool HasValue(const std::string& path, const std::string& name);
// Value exactly as stored, or nullptr.
const Value* GetValue(const std::string& path, const std::string& name);
// Stored bytes as text, any trailing zero bytes dropped.
std::string GetString(const std::string& path, const std::string& name);

// Drops every volatile key, as a restart of the system does.
void Restart();

}  // namespace registry

// ---- service control manager ----
namespace services {

struct Config {
  std::string name;
  std::string displayName;
  DWORD type = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::string imagePath;
  bool hasLoadOrderGroup = false;
  bool hasDependencies = false;
  bool wantsTag = false;
  std::string account;   // empty: LocalSystem
  bool hasPassword = false;
  bool markedForDelete = false;
};

bool Exists(const std::string& name);
const Config* Find(const std::string& name);
void Add(const Config& config);
// OpenSCManagerA fails with this error while set (0: it opens).
void SetManagerOpenError(DWORD error);

}  // namespace services

}  // namespace hostwin

#include <memory>

namespace hostwin {

// ---- devices: "\\.\NAME" opened with CreateFileA ----
namespace devices {

// A simulated driver. Tests derive from it (or use ScriptedDevice) and install
// it under its name; CreateFileA of that name opens a kernel handle to it.
class Device {
 public:
  virtual ~Device() = default;
  // CreateFileA of the device: return ERROR_SUCCESS to open, or the error the
  // caller's GetLastError() then reports.
  virtual DWORD Open(DWORD access, DWORD share, DWORD disposition, DWORD flags);
  virtual void Close() {}
  // DeviceIoControl on an open handle. Return false with *error set to fail.
  // out and in are exactly the caller's pointers and sizes.
  virtual bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
                       DWORD* error) = 0;
};

// name as the program writes it, e.g. "\\\\.\\ZELTA"; compared without regard to case.
void Install(const std::string& name, std::shared_ptr<Device> device);
void Remove(const std::string& name);

// A driver that replays a script: each request must match the next expected
// one (control code, input bytes, output buffer size); it then answers with
// the scripted result, output bytes and byte count. Anything out of order,
// unexpected or left over is a problem the test asserts on with Problems().
class ScriptedDevice : public Device {
 public:
  struct Step {
    DWORD code = 0;
    std::vector<BYTE> input;
    DWORD outSize = 0;
    bool succeed = true;
    std::vector<BYTE> output;   // written to the caller's buffer (at most outSize bytes)
    DWORD bytesReturned = 0;
    DWORD error = ERROR_GEN_FAILURE;  // when !succeed
  };
  // Appends a step; returns it for further setting.
  Step& Expect(DWORD code, std::vector<BYTE> input, DWORD outSize);
  // Open fails with this error while set (0: opens).
  void RefuseOpen(DWORD error) { openError_ = error; }

  DWORD Open(DWORD access, DWORD share, DWORD disposition, DWORD flags) override;
  void Close() override { ++closes_; }
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
               DWORD* error) override;

  // Requests that did not match, plus the steps never reached. Empty: the
  // program did exactly what the script says.
  std::vector<std::string> Problems() const;
  std::size_t Opens() const { return opens_; }
  std::size_t Closes() const { return closes_; }
  std::size_t StepsDone() const { return next_; }

 private:
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  std::vector<std::string> problems_;
  DWORD openError_ = 0;
  std::size_t opens_ = 0;
  std::size_t closes_ = 0;
};

}  // namespace devices
}  // namespace hostwin

#include <functional>
#include <hostwin/user32.h>

namespace hostwin {

// ---- user32: windows, the message queue, timers on a test clock, resources ----
namespace user32 {

// Milliseconds since Reset(). Only GetMessageA moves it, when it would wait,
// and Sleep.
DWORD Now();
// Runs action when the clock reaches atMs (at once if it has), from inside the
// GetMessageA that would otherwise wait: the action plays the outside world
// (a broadcast that arrives, a user who closes a window). Actions of the same
// time run in the order they were scheduled, before a timer due then.
void Schedule(DWORD atMs, std::function<void()> action);
std::size_t ScheduledLeft();

struct TimerInfo {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  DWORD due;
  TIMERPROC proc;
};
std::vector<TimerInfo> Timers();

struct WindowInfo {
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
  HMENU menu = nullptr;
  HINSTANCE instance = nullptr;
  bool foreign = false;     // a window of another process
  bool everVisible = false; // WS_VISIBLE was set at any time
};
// nullptr for a window that does not exist (any more).
const WindowInfo* Window(HWND hwnd);
// Top-level windows of the class, in Z order; foreign ones included.
std::vector<HWND> WindowsOfClass(const std::string& className);

struct ClassInfo {
  std::string name;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int clsExtra = 0, wndExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr, smallIcon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  std::string menuName;  // "#109" for an integer resource id
};
const ClassInfo* Class(const std::string& name);

// A top-level window of another process, for EnumWindows, GetClassNameA and
// FindWindowA. unreadableClass: GetClassNameA fails on it (a window that is
// being destroyed). Messages to it are recorded, not delivered.
HWND AddForeignWindow(const std::string& className, const std::string& title, bool unreadableClass = false);

// Every message posted or sent to HWND_BROADCAST.
struct Message {
  bool posted;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Message> Broadcasts();
// Messages posted or sent to foreign windows.
std::vector<Message> ForeignMessages(HWND hwnd);
// Messages waiting in the thread's queue.
std::vector<MSG> Queue();
bool QuitPosted();

// What this world could not do for the program: GetMessageA that would wait
// forever, a dialog that was never ended, ... Empty when all went well.
std::vector<std::string> Problems();

// The module's resources. Strings, menus, dialogs and icons by id; the
// instance handle passed with them is not checked.
void SetString(UINT id, const std::string& text);
void AddMenu(UINT id);
void AddDialog(UINT id);
void AddIcon(UINT id);
void SetAccelerators(UINT id, const std::vector<ACCEL>& table);

// What a modal dialog meets once WM_INITDIALOG is handled: the responder plays
// the user, e.g. SendMessageA(dialog, WM_COMMAND, IDOK, 0). By default it
// presses OK. The dialog ends when its procedure calls EndDialog.
void SetDialogResponder(std::function<void(HWND dialog)> responder);
// Dialogs shown so far: template id and the result EndDialog gave.
struct DialogRecord {
  UINT templateId;
  HWND parent;
  INT_PTR result;
};
std::vector<DialogRecord> Dialogs();

// Text drawn by DrawTextA since Reset().
std::vector<std::string> DrawnTexts();

// Every successful PostMessageA, with the clock's time when it was posted.
struct Posted {
  DWORD time;
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Posted> PostedLog();

}  // namespace user32

// ---- shell: My Computer, its drives' icons, the shell allocator ----
namespace shell {

// By default the shell knows exactly the drives of GetLogicalDrives(); a
// letter can be made known or unknown to it regardless.
void SetDriveKnown(char letter, bool known);
void ForgetDriveOverrides();
// The icon location that IExtractIconA::GetIconLocation reports for a drive.
// Without one, a drive whose HKLM DriveIcons\<letter>\DefaultIcon default value
// reads "file,index" reports that, and any other drive
// "C:\WINDOWS\SYSTEM\SHELL32.DLL",8 with flags 0.
void SetIconLocation(char letter, const std::string& file, int index, UINT flags = 0);
// System image list index that SHGetFileInfoA reports; default 20 + (letter - 'A').
void SetSystemImageIndex(char letter, int index);

// Allocations of the shell allocator not yet freed, and shell objects not yet
// released; both count as open handles too.
std::size_t LiveAllocations();
std::size_t LiveObjects();
// Frees of pointers the allocator never handed out, releases of dead objects.
std::vector<std::string> Problems();

}  // namespace shell

// ---- loader: LoadLibraryA/GetProcAddress of the simulated system DLLs ----
namespace loader {

// shell32.dll exports SHUpdateImageA by name and as ordinal 191; either can be
// hidden, as older shells export it only by ordinal.
void SetExport(const std::string& module, const std::string& name, bool byName, bool byOrdinal);
// LoadLibraryA of the module fails with ERROR_MOD_NOT_FOUND while set.
void SetMissing(const std::string& module, bool missing);
// Modules loaded and not yet freed (each LoadLibraryA counts once).
std::size_t LoadedCount(const std::string& module);

}  // namespace loader

namespace detail {
// GetLogicalDrives' answer without recording a call, for areas that need it.
DWORD LogicalDrives();
}  // namespace detail

// ---- vexid: the card-reader driver "\\.\vexid" of Windows 98/Me ----
namespace vexid {

// Memory below 4 GiB, so that 32-bit pointers of a driver's lists reach it
// from the 64-bit host. Allocation is a bump pointer; nothing is freed before
// the arena goes.
class LowArena {
 public:
  explicit LowArena(std::size_t size);
  ~LowArena();
  LowArena(const LowArena&) = delete;
  LowArena& operator=(const LowArena&) = delete;

  BYTE* Alloc(std::size_t n, std::size_t align = 4);
  void Clear();  // forgets every allocation and zeroes the memory
  DWORD Address(const void* p) const;  // the 32-bit address of p
  BYTE* Base() const { return base_; }
  std::size_t Size() const { return size_; }
  bool Contains(const void* p, std::size_t n = 1) const;

 private:
  BYTE* base_ = nullptr;
  std::size_t size_ = 0;
  std::size_t used_ = 0;
};

// The layout the programs read (offsets from each structure's start):
constexpr std::size_t kRootFirstUnit = 0x30;  // DriverListRoot: first UnitNode
constexpr std::size_t kUnitNext = 0x0C;       // UnitNode: next UnitNode
constexpr std::size_t kUnitDrive = 0x10;      // UnitNode: LogicalDriveRecord
constexpr std::size_t kUnitFlags = 0x20;      // UnitNode: flags
constexpr std::size_t kUnitProduct = 0x92;    // UnitNode: 16 bytes of product text
constexpr std::size_t kUnitSize = 0xC0;
constexpr std::size_t kDriveIndex = 0x14;     // LogicalDriveRecord: drive index
constexpr std::size_t kDriveSize = 0x20;
constexpr std::size_t kRootSize = 0x40;
constexpr DWORD kFlagScanned = 0x8000;
constexpr DWORD kFlagNoIcon = 0x4000;

struct Unit {
  DWORD flags = kFlagScanned;
  std::string product;  // up to 16 bytes, copied without a terminator when 16 long
  bool hasDrive = true;
  BYTE driveIndex = 0;
};

// The driver. Control code 3 with a 4-byte output buffer answers with the
// address of a cell that holds the address of the list root; the root's
// first-unit pointer starts the list of units built by SetUnits.
class Driver : public devices::Device {
 public:
  explicit Driver(std::size_t arenaSize = 64 * 1024);

  // Lays the list out anew: root, cell, one node per unit linked in order.
  void SetUnits(const std::vector<Unit>& units);
  BYTE* Node(std::size_t i) const { return nodes_.at(i); }
  BYTE* Root() const { return root_; }
  // Points unit i's next pointer at unit j (a loop), or at nothing (j = npos).
  void Link(std::size_t i, std::size_t j);
  LowArena& Arena() { return arena_; }

  // Open fails with this error while set (0: opens).
  void RefuseOpen(DWORD error) { openError_ = error; }
  // Control code 3 fails with this error while set (0: answers).
  void FailList(DWORD error) { listError_ = error; }
  // Control code 3 writes its answer into the caller's buffer and then fails
  // with this error while set (0: answers). A Windows 98 driver is handed the
  // caller's buffer itself, so what it wrote before failing stays there.
  void WriteThenFailList(DWORD error) { writeThenFailError_ = error; }
  // Control code 3 succeeds but writes this address (e.g. 0) instead.
  void AnswerWith(DWORD address) {
    answerOverride_ = true;
    answer_ = address;
  }

  struct OpenArgs {
    DWORD access, share, disposition, flags;
  };
  const std::vector<OpenArgs>& Opens() const { return opens_; }
  std::size_t Closes() const { return closes_; }
  std::size_t Requests() const { return requests_; }

  DWORD Open(DWORD access, DWORD share, DWORD disposition, DWORD flags) override;
  void Close() override { ++closes_; }
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
               DWORD* error) override;

 private:
  LowArena arena_;
  BYTE* cell_ = nullptr;
  BYTE* root_ = nullptr;
  std::vector<BYTE*> nodes_;
  DWORD openError_ = 0;
  DWORD listError_ = 0;
  DWORD writeThenFailError_ = 0;
  bool answerOverride_ = false;
  DWORD answer_ = 0;
  std::vector<OpenArgs> opens_;
  std::size_t closes_ = 0;
  std::size_t requests_ = 0;
};

// Installs a new driver under "\\.\vexid" and returns it.
std::shared_ptr<Driver> Install(std::size_t arenaSize = 64 * 1024);

}  // namespace vexid
}  // namespace hostwin

// ---- SetupAPI device interfaces ----
namespace hostwin {
namespace setupapi {

// Adds a device interface of the class interfaceClass to the machine. Sets
// list the interfaces of their class as Windows does, by device path compared
// without regard to case (folded to upper case), whatever the order they were
// added in; one whose device is not present is left out of DIGCF_PRESENT sets.
void AddInterface(const GUID& interfaceClass, const std::string& devicePath, bool present = true);
std::size_t InterfaceCount();

}  // namespace setupapi
}  // namespace hostwin
