// scripts/demo's session: a demo installation, a real MCP session through
// kova-mcp under Wine, then one tampered installation and its refusal.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { hostEntry, layOutDemo, tamperOneByte, windowsPath } from "./installation.mjs";
import { mcpSession, plainRun } from "./session.mjs";

const ok = (text) => console.log(`  \u2714 ${text}`);
const root = mkdtempSync(join(tmpdir(), "kova-demo-"));
let failed = false;
const expect = (condition, text) => { if (condition) ok(text); else { console.log(`  \u2718 ${text}`); failed = true; } };

try {
  console.log("Demo installation");
  const demo = layOutDemo(root);
  console.log(`  LOCALAPPDATA = ${windowsPath(demo.local)}`);
  console.log(`  version ${demo.version}: lumenframe.exe, lumenframe-mcp.exe (demo MCP server), THIRD_PARTY_NOTICES.txt, manifest.txt signed with the test key`);
  console.log(`  mcp-settings.json: ${demo.folders.map(windowsPath).join("  |  ")}`);
  console.log(`  the MCP host's entry (mcpServers.lumenframe): ${JSON.stringify(hostEntry(demo.hostConfig))}`);

  console.log("\nkova-mcp lumenframe, started from that entry by the MCP TypeScript SDK client over stdio");
  const session = await mcpSession(demo);
  expect(session.stderr() === "", "the launcher wrote nothing: every check passed and the companion started");
  for (const step of ["current.json names 1.4.0; versions\\1.4.0 lies inside the app folder",
    "manifest.txt verified with the built-in key (ECDSA P-256), version matches",
    "every listed file has its size and SHA-256; the folder holds nothing else",
    "both settings folders resolved to final paths; lumenframe-mcp.exe started in its version folder"]) ok(step);
  console.log(`\nMCP session (server ${session.server?.name} ${session.server?.version})`);
  console.log(`  tools offered: ${session.tools.map((t) => t.name).join(", ")}`);
  const folders = session.allowed.structuredContent?.folders ?? [];
  console.log("  allowed folders the companion received in LUMENFRAME_ALLOWED_ROOTS:");
  for (const folder of folders) console.log(`    ${folder}`);
  expect(folders.length === 2 && folders[1].endsWith("\\Team;Shared") && folders.every((f) => f.startsWith("\\\\?\\")),
    "two final paths, the Team;Shared folder intact through its quotes");
  for (const { folder, result } of session.listings) {
    console.log(`  list_folder ${folder}: ${(result.structuredContent?.entries ?? []).join(", ")}`);
  }
  expect(session.outside.isError === true, "a folder outside them is refused by the companion");

  console.log("\nTampered installation: one byte of lumenframe-mcp.exe changed");
  tamperOneByte(join(demo.versionFolder, "lumenframe-mcp.exe"));
  const run = plainRun(demo);
  console.log(`  standard error: ${JSON.stringify(run.stderr)}`);
  console.log(`  exit code: ${run.status}`);
  expect(run.status === 1 && run.stderr === "Installed Lumenframe files changed. Repair the app in KOVA Hub.\n" && run.stdout === "",
    "refused with its one line and exit code 1; the companion never started");
} finally {
  rmSync(root, { recursive: true, force: true });
}
console.log(failed ? "\nThe demo did not go as expected." : "\nThe demo went as expected.");
process.exit(failed ? 1 : 0);
