// The run result as a contract: a document checked against docs/result.schema.json. The checker knows the
// keywords that schema uses (type, required, enum, properties, additionalProperties, items, minimum) and
// reports any other, so that the schema cannot outgrow what is checked.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orv::test {

// Where the document breaks the schema, one line each ("boards/0/outcome: ..."); empty when it follows it.
// A text that is not JSON is one violation.
std::vector<std::string> SchemaViolations(const std::string& schema_I, const std::string& document_I);

// docs/result.schema.json of the sources.
std::string ResultSchema();

// The result file against the schema: one test failure per violation, and one when it cannot be read.
void ExpectValidRunResult(const std::filesystem::path& file_I);

}  // namespace orv::test
