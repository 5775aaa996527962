// The official MCP TypeScript SDK client spawns kova-mcp.exe lumenframe under
// Wine through its stdio transport and talks to the demo MCP server behind it.
import assert from "node:assert/strict";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { layOutDemo, tamperOneByte } from "../../demo/client/installation.mjs";
import { mcpSession, plainRun } from "../../demo/client/session.mjs";

let root;
let demo;
before(() => {
  root = mkdtempSync(join(tmpdir(), "kova-mcp-client-"));
  demo = layOutDemo(root);
});
after(() => rmSync(root, { recursive: true, force: true }));

test("an MCP session passes through the launcher untouched", async () => {
  const session = await mcpSession(demo);
  assert.equal(session.stderr(), "");
  assert.equal(session.server.name, "lumenframe-demo-mcp");
  assert.deepEqual(session.tools.map((t) => t.name).sort(), ["list_allowed_folders", "list_folder"]);
  const folders = session.allowed.structuredContent.folders;
  assert.equal(folders.length, 2);
  assert.match(folders[0], /^\\\\\?\\Z:\\.*\\Projects$/);
  assert.match(folders[1], /^\\\\\?\\Z:\\.*\\Team;Shared$/);
  assert.deepEqual(session.listings[0].result.structuredContent.entries, ["plan.md"]);
  assert.deepEqual(session.listings[1].result.structuredContent.entries, ["designs\\", "notes.txt"]);
  assert.equal(session.outside.isError, true);
});

test("a tampered installation fails with the launcher's line and exit code 1", async () => {
  const refusal = "Installed Lumenframe files changed. Repair the app in KOVA Hub.\n";
  tamperOneByte(join(demo.versionFolder, "lumenframe.exe"));
  // The SDK client sees the server go away before it answers, and the line on standard error.
  let stderr = "";
  await assert.rejects(mcpSession(demo, { onStderr: (chunk) => { stderr += chunk; } }));
  assert.equal(stderr, refusal);
  // The exit code, which the SDK does not report.
  const run = plainRun(demo);
  assert.equal(run.stderr, refusal);
  assert.equal(run.status, 1);
  assert.equal(run.stdout, "");
});
