// Lays out a demo Lumenframe installation in a LOCALAPPDATA of its own and
// signs its version folder with the project's test key, through the
// project's own release tool. Used by scripts/demo and the MCP client test.
import { execFileSync } from "node:child_process";
import { copyFileSync, mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

export const projectDir = resolve(dirname(fileURLToPath(import.meta.url)), "..", "..");
export const wineRun = join(projectDir, "scripts", "wine-run");

// Linux folders are reachable from Wine through its Z: drive.
export const windowsPath = (linuxPath) => "Z:" + linuxPath.replaceAll("/", "\\");

export function buildPaths(buildDir = process.env.KOVA_WINDOWS_BUILD ?? join(projectDir, "build", "windows")) {
  return {
    launcher: join(buildDir, "bin", "kova-mcp.exe"),
    releaseTool: join(buildDir, "bin", "kova-make-release.exe"),
    companion: join(buildDir, "demo", "lumenframe-demo-mcp.exe"),
    app: join(buildDir, "demo", "lumenframe-demo-app.exe"),
    withEnv: join(buildDir, "demo", "kova-with-env.exe"),
  };
}

export function layOutDemo(root, build = buildPaths()) {
  const local = join(root, "Local");
  const appFolder = join(local, "Tessarine", "Apps", "Lumenframe");
  const version = "1.4.0";
  const versionFolder = join(appFolder, "versions", version);
  mkdirSync(versionFolder, { recursive: true });
  writeFileSync(join(appFolder, "current.json"), JSON.stringify({ current: version, previous: null }));
  copyFileSync(build.companion, join(versionFolder, "lumenframe-mcp.exe"));
  copyFileSync(build.app, join(versionFolder, "lumenframe.exe"));
  writeFileSync(join(versionFolder, "THIRD_PARTY_NOTICES.txt"), "nlohmann-json (MIT), OpenSSL (Apache-2.0)\n");
  execFileSync(wineRun, [build.releaseTool, "sign", "--key", windowsPath(join(projectDir, "tests", "keys", "release-test-key.pem")),
    "--version", version, windowsPath(versionFolder)], { stdio: ["ignore", "pipe", "inherit"] });

  const folders = [join(root, "Projects"), join(root, "Team;Shared")];
  for (const folder of folders) mkdirSync(folder, { recursive: true });
  writeFileSync(join(folders[0], "plan.md"), "# Plan\n");
  writeFileSync(join(folders[1], "notes.txt"), "shared notes\n");
  mkdirSync(join(folders[1], "designs"), { recursive: true });
  writeFileSync(join(local, "Tessarine", "mcp-settings.json"),
    JSON.stringify({ allowed_roots: folders.map(windowsPath) }, null, 2));

  // The entry an MCP host's configuration holds for the launcher, exactly as
  // README shows it: the full path of kova-mcp.exe, the one argument, no env.
  const hostConfig = join(root, "mcp-host-config.json");
  writeFileSync(hostConfig, JSON.stringify({ mcpServers: { lumenframe: { command: windowsPath(build.launcher), args: ["lumenframe"] } } }, null, 2));
  return { local, versionFolder, folders, version, hostConfig };
}

// The server entry of an MCP host's configuration file.
export function hostEntry(hostConfig) {
  const entry = JSON.parse(readFileSync(hostConfig, "utf8")).mcpServers.lumenframe;
  if (entry.env !== undefined) throw new Error("the host entry must not set env: the launcher takes nothing from it");
  return entry;
}

// The launcher as an MCP host starts it from its entry. A Windows host runs
// the command itself; here Wine does, with the demo's LOCALAPPDATA, which
// Wine would not take from the Linux environment.
export function launcherCommand(demo, build = buildPaths()) {
  const { command, args } = hostEntry(demo.hostConfig);
  return { command: wineRun, args: [build.withEnv, `LOCALAPPDATA=${windowsPath(demo.local)}`, "--", command, ...args] };
}

// Changes one byte of a file in place, as a tampered installation would.
export function tamperOneByte(file) {
  const bytes = readFileSync(file);
  bytes[bytes.length >> 1] ^= 0x01;
  writeFileSync(file, bytes);
}
