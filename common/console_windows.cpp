// console_windows.cpp - single-key console input over the C run-time's console calls.
#include "console_keys.h"

#include <conio.h>
#include <cstdio>
#include <windows.h>

namespace {

enum class Input { Console, Pipe, Other };

Input input = Input::Other;

Input input_kind() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(in, &mode)) return Input::Console;
  return GetFileType(in) == FILE_TYPE_PIPE ? Input::Pipe : Input::Other;
}

// A function or arrow key comes as a lead byte and a code; it stands for no character a
// program asks for, so it is passed over whole rather than read as two keys.
bool extended(int c) { return c == 0 || c == 0xE0; }

BOOL WINAPI note_interrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  console_signal = SIGINT;
  return TRUE;
}

int read_byte() {
  int c = std::getc(stdin);
  if (c != EOF) return c;
  std::clearerr(stdin);
  return CONSOLE_END;
}

}  // namespace

void keys_init() {
  input = input_kind();
  // NOTE: unbuffered, as on POSIX: a key test must not miss a byte that stdio read ahead.
  std::setvbuf(stdin, nullptr, _IONBF, 0);
}

int keys_read() {
  if (input != Input::Console) return read_byte();
  for (;;) {
    // The console's own wait for a key does not end at Ctrl-C: keys are looked for in turns.
    while (!_kbhit()) {
      if (console_signal != 0) return CONSOLE_INTERRUPT;
      Sleep(20);
    }
    int c = _getch();
    if (!extended(c)) return c;
    _getch();
  }
}

int keys_poll(bool* at_end) {
  if (input == Input::Console) {
    while (_kbhit()) {
      int c = _getch();
      if (!extended(c)) return c;
      _getch();
    }
    return CONSOLE_END;
  }
  if (input == Input::Pipe) {
    // A read would wait for the writer; only what has arrived counts. A pipe whose writer
    // has gone is the end of input; one that cannot be looked into (wine's view of a POSIX
    // pipe) shows no key rather than hold the program in a read.
    DWORD waiting = 0;
    if (!PeekNamedPipe(GetStdHandle(STD_INPUT_HANDLE), nullptr, 0, nullptr, &waiting, nullptr)) {
      *at_end = GetLastError() == ERROR_BROKEN_PIPE;
      return CONSOLE_END;
    }
    if (waiting == 0) return CONSOLE_END;
  }
  // A file (or the null device) never makes a read wait.
  int c = read_byte();
  *at_end = c == CONSOLE_END;
  return c;
}

bool console_is_keyboard() { return input == Input::Console; }

void keys_catch_interrupt() { SetConsoleCtrlHandler(note_interrupt, TRUE); }

// NOTE: the console shows a typed key only when a line is read, never while keys are
// tested or taken one at a time, so there is no mode to hold.
void console_hold(bool) {}

int console_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}
