#include <io.h>
#include <windows.h>

#include <cstdio>

#include "base/os/processes.h"
#include "base/os/windows_text.h"

namespace base {
namespace {

// One argument quoted as CommandLineToArgvW and the C runtime read it back.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

}  // namespace

Status runCopiesOfSelf(const std::vector<std::vector<std::string>>& arguments,
                       const std::function<void()>& tick) {
    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    if (length == 0 || length >= std::size(self)) return Failure{"this program's own path is not known"};
    std::vector<HANDLE> running;
    std::string failure;
    for (const std::vector<std::string>& list : arguments) {
        if (running.size() == MAXIMUM_WAIT_OBJECTS) break;  // as many as one wait can watch
        std::wstring line = quoted(self);
        for (const std::string& a : list) line += L" " + quoted(toUtf16(a));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            failure = "a worker could not be started: " + systemErrorText(GetLastError());
            break;
        }
        CloseHandle(process.hThread);
        running.push_back(process.hProcess);
    }
    while (!running.empty()) {
        const DWORD woke =
            WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE, 200);
        if (woke < WAIT_OBJECT_0 + running.size()) {
            const HANDLE ended = running[woke - WAIT_OBJECT_0];
            DWORD code = 1;
            GetExitCodeProcess(ended, &code);
            if (code != 0 && failure.empty()) failure = "a worker did not make all of its samples";
            CloseHandle(ended);
            running.erase(running.begin() + (woke - WAIT_OBJECT_0));
        } else if (woke == WAIT_FAILED) {
            failure = "the workers could not be watched: " + systemErrorText(GetLastError());
            for (HANDLE h : running) CloseHandle(h);
            break;
        }
        tick();
    }
    if (!failure.empty()) return Failure{failure};
    return Done{};
}

bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace base
