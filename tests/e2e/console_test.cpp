// Standard error on a real console: one whose output code page is not UTF-8
// gets the line as UTF-16 (WriteConsoleW), so that the en dash of "Choose
// 1–8 MCP folders." shows as one character; a UTF-8 console, a pipe and a file
// get the UTF-8 bytes as they are. Under Wine the console needs a display
// driver: scripts/setup sets the prefix's Graphics driver to "null".
#include <gtest/gtest.h>

#include <vector>

#include "core/win32/handle.h"
#include "harness.h"

namespace kova::e2e {
namespace {

constexpr std::string_view kCount = "Choose 1\xE2\x80\x93" "8 MCP folders.";
constexpr std::wstring_view kCountOnScreen = L"Choose 1\u2013" L"8 MCP folders.";

// A console of this process's own for the length of a test; the launcher,
// started without a console of its own, shares it. The standard handles are
// put back when it goes.
class OwnConsole {
public:
    OwnConsole()
        : input_(GetStdHandle(STD_INPUT_HANDLE)), output_(GetStdHandle(STD_OUTPUT_HANDLE)), error_(GetStdHandle(STD_ERROR_HANDLE)) {
        FreeConsole();
        allocated_ = AllocConsole() != FALSE;
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (allocated_) {
            screen_ = win32::FileHandle(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    &inherit, OPEN_EXISTING, 0, nullptr));
        }
    }
    OwnConsole(const OwnConsole&) = delete;
    OwnConsole& operator=(const OwnConsole&) = delete;
    ~OwnConsole() {
        screen_.reset();
        if (allocated_) FreeConsole();
        SetStdHandle(STD_INPUT_HANDLE, input_);
        SetStdHandle(STD_OUTPUT_HANDLE, output_);
        SetStdHandle(STD_ERROR_HANDLE, error_);
    }

    [[nodiscard]] bool usable() const { return allocated_ && screen_.valid(); }
    [[nodiscard]] HANDLE screen() const { return screen_.get(); }

    void clear() const {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(screen_.get(), &info);
        DWORD written = 0;
        FillConsoleOutputCharacterW(screen_.get(), L' ', static_cast<DWORD>(info.dwSize.X * info.dwSize.Y), {0, 0}, &written);
        SetConsoleCursorPosition(screen_.get(), {0, 0});
    }

    // The characters on the screen, row after row, without the blanks after the last.
    [[nodiscard]] std::wstring text() const {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(screen_.get(), &info);
        std::vector<wchar_t> cells(static_cast<std::size_t>(info.dwSize.X) * static_cast<std::size_t>(info.dwSize.Y));
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen_.get(), cells.data(), static_cast<DWORD>(cells.size()), {0, 0}, &read);
        std::wstring text(cells.data(), read);
        text.erase(text.find_last_not_of(L' ') + 1);
        return text;
    }

private:
    HANDLE input_;
    HANDLE output_;
    HANDLE error_;
    bool allocated_ = false;
    win32::FileHandle screen_;
};

TEST(Console, TheEnDashShowsAsOneCharacterWhateverTheCodePage) {
    Sandbox sandbox;
    install(sandbox);
    write_settings(sandbox, {});
    const OwnConsole console;
    ASSERT_TRUE(console.usable()) << "no console could be made (under Wine: scripts/setup sets Graphics=null)";
    for (const UINT code_page : {437u, 65001u}) {
        ASSERT_TRUE(SetConsoleOutputCP(code_page)) << code_page;
        console.clear();
        const RunResult run = run_launcher(sandbox, {.error_handle = console.screen()});
        EXPECT_EQ(run.exit_code, 1u) << code_page;
        EXPECT_NE(console.text().find(kCountOnScreen), std::wstring::npos)
            << "code page " << code_page << ", the screen holds: " << utf8(console.text());
    }
}

TEST(Console, APipeGetsTheLinesUtf8BytesUnchanged) {
    Sandbox sandbox;
    install(sandbox);
    write_settings(sandbox, {});
    const RunResult run = run_launcher(sandbox, {.through_pipes = true});
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_EQ(run.error, line(kCount));
    EXPECT_EQ(run.error.size(), 26u);
}

}  // namespace
}  // namespace kova::e2e
