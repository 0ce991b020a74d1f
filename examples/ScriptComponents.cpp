/* Script components on a real JavaScript engine: a script declares component types with
   parameters, the host creates components of those types in a scene before the runtime is
   ready, and js_createAndInitAllComponents() is where the runtime creates the script objects,
   which then see their types and parameters. Checks what the objects saw and exits with 1
   when anything differs.

   Usage: ScriptComponents SCRIPT */

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <duktape.h>

#include "ZarvikEngine/Data/JavaScriptManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

namespace {

/* What the runtime defines before the script runs: ParamType, registration of component types,
   and creation of a component object from its type, Id and the host's parameter values */
constexpr const char* Prelude = R"(
var componentTypes = [];
var components = {};
function registerComponentType(name, params, methods) {
    componentTypes.push({name: name, params: params, methods: methods});
}
function createComponent(jsIndex, id, values) {
    var type = componentTypes[jsIndex];
    var object = Object.create(type.methods);
    object.type = type.name;
    object.id = id;
    for (var param in type.params)
        object[param] = param in values ? values[param] : type.params[param].value;
    components[id] = object;
    return object.init();
}
function paramTypeOf(jsIndex, param) {
    return componentTypes[jsIndex].params[param].type;
}
)";

/* The runtime side of the script manager: a Duktape heap running the scripts */
class ScriptRuntime {
public:
    ScriptRuntime() : _context{duk_create_heap_default()} {
        /* ParamType as the library prints it */
        duk_push_object(_context);
        for (int type = 0; type != 16; ++type) {
            std::ostringstream name;
            Debug{&name} << ParamType(type);
            const std::string text = name.str();
            duk_push_int(_context, type);
            duk_put_prop_string(
                _context, -2,
                text.substr(text.find("::") + 2, text.size() - text.find("::") - 3).c_str());
        }
        duk_put_global_string(_context, "ParamType");
        evaluate(Prelude);
    }
    ~ScriptRuntime() { duk_destroy_heap(_context); }

    /* Leaves the value on the stack; aborts the example on a script error */
    void evaluate(const std::string& source) {
        if (duk_peval_string(_context, source.c_str()) != 0)
            fail("script error: " + std::string{duk_safe_to_string(_context, -1)});
    }
    std::string evaluateToString(const std::string& source) {
        evaluate(source);
        const std::string value = duk_safe_to_string(_context, -1);
        duk_pop(_context);
        return value;
    }

    /* The declared types into the manager's block */
    void declareTypes(JavaScriptManager& scripts, unsigned short capacity) {
        const int count = std::stoi(evaluateToString("componentTypes.length"));
        std::vector<std::string> names;
        std::size_t bytes = 0;
        for (int i = 0; i != count; ++i) {
            names.push_back(evaluateToString("componentTypes[" + std::to_string(i) + "].name"));
            bytes += names.back().size() + 1;
        }
        scripts.allocate(capacity, static_cast<unsigned short>(count), bytes);
        for (int i = 0; i != count; ++i)
            scripts.setComponentType(static_cast<unsigned short>(i), names[i]);
    }

    /* The hook as the runtime build connects it: the pending components become script objects
       of their runtime types, then the manager maps the types and releases its pending state */
    void createAndInitAllComponents(JavaScriptManager& scripts,
                                    const std::map<Id, std::string>& values) {
        const std::vector<std::uint8_t> toJsIndex = scripts.computeTypeToJsIndex();
        for (const Id id : scripts.initialState().pendingComponents) {
            const auto found = values.find(id);
            const std::string said = evaluateToString(
                "createComponent(" + std::to_string(toJsIndex[scripts.typeIndex(id)]) + ", " +
                std::to_string(unsigned(id)) + ", " +
                (found == values.end() ? std::string{"{}"} : found->second) + ")");
            Debug{} << id << Debug::nospace << ":" << said;
        }
        scripts.js_createAndInitAllComponents();
    }

    /* A translated parameter reaches the object, and the manager's hook */
    void setComponentParamTranslation(JavaScriptManager& scripts, Id id, const std::string& param,
                                      unsigned paramIndex, const std::string& value) {
        evaluate("components[" + std::to_string(unsigned(id)) + "]." + param + " = '" + value +
                 "'");
        duk_pop(_context);
        scripts.js_setComponentParamTranslation(id, paramIndex, value);
    }

    [[noreturn]] static void fail(const std::string& message) {
        std::fprintf(stderr, "ScriptComponents: %s\n", message.c_str());
        std::exit(1);
    }

private:
    duk_context* _context;
};

void expect(const std::string& what, const std::string& actual, const std::string& expected) {
    if (actual != expected)
        ScriptRuntime::fail(what + " is " + actual + ", expected " + expected);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ScriptComponents SCRIPT\n");
        return 2;
    }
    std::ifstream file{argv[1]};
    if (!file)
        ScriptRuntime::fail(std::string{"can't read "} + argv[1]);
    std::ostringstream script;
    script << file.rdbuf();

    ScriptRuntime runtime;
    runtime.evaluate(script.str());

    SceneGraph graph{8, 1, 8};
    JavaScriptManager scripts;
    graph.setComponentManager(0, "js", &scripts);
    runtime.declareTypes(scripts, 4);
    if (scripts.typeIndex("spinner") == 65535 || scripts.typeIndex("door") == 65535)
        ScriptRuntime::fail("the script didn't declare a spinner and a door");

    /* Components made before the runtime is ready, with the values a scene gives them */
    const Id fast = scripts.addComponent(graph.addObject(Id(0)), scripts.typeIndex("spinner"));
    const Id back = scripts.addComponent(graph.addObject(Id(0)), scripts.typeIndex("door"));
    const Id plain = scripts.addComponent(graph.addObject(Id(0)), scripts.typeIndex("spinner"));
    for (const Id id : {fast, back, plain})
        scripts.activate(id);
    const std::map<Id, std::string> values{{fast, "{speed: 3.5, axis: [1, 0, 0]}"},
                                           {back, "{label: 'back', locked: true}"}};
    scripts.completeInitialization();
    if (scripts.initialState().pendingComponents.size() != 3)
        ScriptRuntime::fail("three components should be pending");

    runtime.createAndInitAllComponents(scripts, values);
    if (!scripts.initialState().pendingComponents.empty())
        ScriptRuntime::fail("components are still pending");

    /* Each object sees its manager type, its parameters and their kinds */
    const auto seen = [&](Id id, const std::string& property) {
        return runtime.evaluateToString("components[" + std::to_string(unsigned(id)) + "]." +
                                        property);
    };
    for (const Id id : {fast, back, plain})
        expect("the type of " + std::to_string(unsigned(id)), seen(id, "type"),
               std::string{scripts.typeName(scripts.typeIndex(id))});
    expect("the fast spinner's speed", seen(fast, "speed"), "3.5");
    expect("the fast spinner's axis", seen(fast, "axis"), "1,0,0");
    expect("the plain spinner's speed", seen(plain, "speed"), "1");
    expect("the door's label", seen(back, "label"), "back");
    expect("the door's lock", seen(back, "locked"), "true");
    expect("the kind of a speed",
           runtime.evaluateToString(
               "paramTypeOf(" +
               std::to_string(scripts.computeTypeToJsIndex()[scripts.typeIndex(fast)]) +
               ", 'speed')"),
           std::to_string(int(ParamType::Float)));

    runtime.setComponentParamTranslation(scripts, back, "label", 0, "Hintertür");
    expect("the translated label", seen(back, "label"), "Hintertür");
    return 0;
}
