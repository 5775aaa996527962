// Validates bills of materials against the official CycloneDX 1.5 JSON
// schema, as the CycloneDX project's own library ships it (pinned in
// package.json), strictly: no member the schema does not name.
//   node scripts/check-sbom.mjs FILE.cdx.json...
// Prints each finding; exits 1 when there is one.
import { readFileSync } from "node:fs";
import * as CycloneDX from "@cyclonedx/cyclonedx-library";

const validator = new CycloneDX.Validation.JsonStrictValidator(CycloneDX.Spec.Version.v1dot5);
let invalid = 0;
for (const file of process.argv.slice(2)) {
  const errors = await validator.validate(readFileSync(file, "utf8"));
  if (errors === null) {
    console.log(`${file}: a valid CycloneDX 1.5 bill of materials`);
  } else {
    invalid += 1;
    for (const error of errors) console.log(`${file}: ${error.instancePath || "/"} ${error.message}`);
  }
}
process.exit(process.argv.length > 2 && invalid === 0 ? 0 : 1);
