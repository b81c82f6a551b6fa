// The Linux host build's <windows.h>: our own declarations of the Win32 subset
// that the product code calls, backed by the in-memory world in hostwin/src.
#pragma once

#include <hostwin/types.h>
#include <hostwin/kernel32.h>
#include <hostwin/advapi32.h>
#include <hostwin/loader.h>
#include <hostwin/text.h>
#include <hostwin/user32.h>
