// One MCP session with kova-mcp through the official TypeScript SDK client.
import { spawnSync } from "node:child_process";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import { launcherCommand } from "./installation.mjs";

export async function mcpSession(demo, { onStderr } = {}) {
  const { command, args } = launcherCommand(demo);
  const transport = new StdioClientTransport({ command, args, env: { ...process.env, WINEDEBUG: "-all" }, stderr: "pipe" });
  let stderr = "";
  transport.stderr?.on("data", (chunk) => { stderr += chunk; onStderr?.(chunk); });
  const client = new Client({ name: "kova-mcp-demo-client", version: "1.0.0" });
  await client.connect(transport);
  try {
    const server = client.getServerVersion();
    const protocol = transport._protocolVersion ?? null;
    const { tools } = await client.listTools();
    const allowed = await client.callTool({ name: "list_allowed_folders", arguments: {} });
    const listings = [];
    for (const folder of allowed.structuredContent?.folders ?? []) {
      listings.push({ folder, result: await client.callTool({ name: "list_folder", arguments: { path: folder } }) });
    }
    const outside = await client.callTool({ name: "list_folder", arguments: { path: "C:\\windows" } });
    return { server, protocol, tools, allowed, listings, outside, stderr: () => stderr };
  } finally {
    await client.close();
  }
}

// A run without MCP: what the launcher writes and how it ends.
export function plainRun(demo) {
  const { command, args } = launcherCommand(demo);
  const run = spawnSync(command, args, { input: "", env: { ...process.env, WINEDEBUG: "-all" } });
  return { status: run.status, stderr: run.stderr.toString("utf8"), stdout: run.stdout.toString("utf8") };
}
