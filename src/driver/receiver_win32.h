// The hidden receiver window that gets raw mouse input, and the message pump that feeds it.
#pragma once

#include <windows.h>

// Class and window name of the receiver.
constexpr char kReceiverClassName[] = "CorvelTestSuiteWin32";

// The last raw input record read; zero until the first read.
extern RAWINPUT eventRecord;

// The receiver's registration as the raw input sink for all mice.
extern RAWINPUTDEVICE mouseRegistration;

// Registers the receiver class, creates the receiver and registers it for raw mouse input.
// Returns false only when the class cannot be registered.
bool SetUpReceiver(HINSTANCE instance);

// Window procedure of the receiver: analyses raw mouse input, quits when destroyed.
LRESULT CALLBACK ReceiverWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Runs pump passes (drain the queue, sleep 1 ms, stamp the pump) until a quit message is met.
void RunPump();
