// Parses a WGSL file with wgsl_reflect: prints the number of declarations and exits with 0
// when it parses, prints the parser's message and exits with 1 when it doesn't.
// Usage: node ParseWgsl.mjs PARSER_MODULE FILE
import { readFileSync } from "fs";
import { pathToFileURL } from "url";

const [parser, file] = process.argv.slice(2);
const { WgslParser } = await import(pathToFileURL(parser));
try {
    const declarations = new WgslParser().parse(readFileSync(file, "utf8"));
    console.log(`${declarations.length} declarations`);
} catch (error) {
    console.log(String(error.message ?? error));
    process.exit(1);
}
