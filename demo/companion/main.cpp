// A small MCP server over stdio for the demo and the MCP client test: it
// stands in for the real lumenframe-mcp.exe. JSON-RPC 2.0, one message per
// line; tools that show which folders the launcher handed over.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/path.h"
#include "core/utf.h"
#include "core/win32/file_system.h"

namespace {

using nlohmann::json;

constexpr std::string_view kServerName = "lumenframe-demo-mcp";
constexpr std::string_view kServerVersion = "1.4.0";
// Newest first; an unknown requested version gets the newest.
const std::vector<std::string> kProtocolVersions{"2025-06-18", "2025-03-26", "2024-11-05"};

// LUMENFRAME_ALLOWED_ROOTS: entries split at ";" outside double quotes; a
// quoted entry loses its quotes.
std::vector<std::wstring> parse_allowed_roots(std::wstring_view value) {
    std::vector<std::wstring> roots;
    std::wstring current;
    bool quoted = false;
    for (const wchar_t c : value) {
        if (c == L'"') {
            quoted = !quoted;
        } else if (c == L';' && !quoted) {
            roots.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!value.empty()) roots.push_back(current);
    return roots;
}

std::vector<std::wstring> allowed_roots() {
    const kova::win32::Win32Result<std::wstring> value = kova::win32::environment_variable(L"LUMENFRAME_ALLOWED_ROOTS");
    return value ? parse_allowed_roots(*value) : std::vector<std::wstring>{};
}

std::string utf8(std::wstring_view text) { return kova::utf16_to_utf8(text).value_or("?"); }

json text_result(const std::string& text, bool is_error = false) {
    return {{"content", json::array({{{"type", "text"}, {"text", text}}})}, {"isError", is_error}};
}

json list_allowed_folders() {
    std::string text;
    json folders = json::array();
    for (const std::wstring& root : allowed_roots()) {
        text += utf8(root) + "\n";
        folders.push_back(utf8(root));
    }
    json result = text_result(text.empty() ? "No folders were handed over." : text);
    result["structuredContent"] = {{"folders", folders}};
    return result;
}

json list_folder(const json& arguments) {
    if (!arguments.is_object() || !arguments.contains("path") || !arguments["path"].is_string()) {
        return text_result("list_folder needs a \"path\" string.", true);
    }
    const std::optional<std::wstring> path = kova::utf8_to_utf16(arguments["path"].get<std::string>());
    if (!path) return text_result("That folder does not exist.", true);
    const kova::win32::Win32Result<kova::Path> canonical = kova::win32::canonicalize(*path);
    if (!canonical) return text_result("That folder does not exist.", true);
    const std::vector<std::wstring> roots = allowed_roots();
    const bool inside = std::any_of(roots.begin(), roots.end(),
                                    [&](const std::wstring& root) { return kova::path_starts_with(*canonical, root); });
    if (!inside) return text_result("That folder is outside the folders the user allowed.", true);
    std::vector<std::string> names;
    const auto listing = kova::win32::list_folder(*canonical, [&](const kova::win32::FolderEntry& entry) {
        names.push_back(utf8(entry.name) + (kova::is_directory(entry.metadata) ? "\\" : ""));
        return true;
    });
    if (!listing) return text_result("That folder cannot be listed.", true);
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += name + "\n";
    json result = text_result(text.empty() ? "(empty)" : text);
    result["structuredContent"] = {{"entries", names}};
    return result;
}

json tools() {
    return json::array({
        {{"name", "list_allowed_folders"},
         {"description", "Lists the folders the user allows agents to reach."},
         {"inputSchema", {{"type", "object"}, {"properties", json::object()}}}},
        {{"name", "list_folder"},
         {"description", "Lists the entries of a folder inside the allowed folders."},
         {"inputSchema",
          {{"type", "object"},
           {"properties", {{"path", {{"type", "string"}, {"description", "Absolute folder path"}}}}},
           {"required", {"path"}}}}},
    });
}

std::optional<json> handle(const json& message) {
    const bool is_request = message.contains("id");
    const std::string method = message.value("method", "");
    const json params = message.value("params", json::object());
    const auto reply = [&](json result) { return json{{"jsonrpc", "2.0"}, {"id", message["id"]}, {"result", std::move(result)}}; };
    const auto error = [&](int code, const std::string& text) {
        return json{{"jsonrpc", "2.0"}, {"id", message["id"]}, {"error", {{"code", code}, {"message", text}}}};
    };
    if (!is_request) return std::nullopt;  // notifications need no answer
    if (method == "initialize") {
        const std::string asked = params.value("protocolVersion", "");
        const bool known = std::find(kProtocolVersions.begin(), kProtocolVersions.end(), asked) != kProtocolVersions.end();
        return reply({{"protocolVersion", known ? asked : kProtocolVersions.front()},
                      {"capabilities", {{"tools", {{"listChanged", false}}}}},
                      {"serverInfo", {{"name", kServerName}, {"version", kServerVersion}}}});
    }
    if (method == "ping") return reply(json::object());
    if (method == "tools/list") return reply({{"tools", tools()}});
    if (method == "tools/call") {
        const std::string name = params.value("name", "");
        if (name == "list_allowed_folders") return reply(list_allowed_folders());
        if (name == "list_folder") return reply(list_folder(params.value("arguments", json::object())));
        return error(-32602, "Unknown tool: " + name);
    }
    return error(-32601, "Method not found: " + method);
}

void write_line(const json& message) {
    const std::string text = message.dump() + "\n";
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD offset = 0;
    while (offset < text.size()) {
        DWORD written = 0;
        if (!WriteFile(out, text.data() + offset, static_cast<DWORD>(text.size() - offset), &written, nullptr)) return;
        offset += written;
    }
}

}  // namespace

int main() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in, buffer, sizeof buffer, &read, nullptr) || read == 0) break;
        pending.append(buffer, read);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            const json message = json::parse(line, nullptr, false);
            if (message.is_discarded() || !message.is_object()) {
                write_line({{"jsonrpc", "2.0"}, {"id", nullptr}, {"error", {{"code", -32700}, {"message", "Parse error"}}}});
                continue;
            }
            if (const std::optional<json> answer = handle(message)) write_line(*answer);
        }
    }
    return 0;
}
