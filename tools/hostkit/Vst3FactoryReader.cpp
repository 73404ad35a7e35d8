#include "Vst3FactoryReader.h"

JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wshadow", "-Wnon-virtual-dtor", "-Wzero-as-null-pointer-constant",
                                     "-Wextra-semi", "-Wunused-parameter", "-Wfloat-equal")
#include <pluginterfaces/base/ipluginbase.h>
JUCE_END_IGNORE_WARNINGS_GCC_LIKE

#include <dlfcn.h>

namespace hostkit
{

namespace
{
#if defined(__x86_64__)
constexpr const char* moduleArchitecture = "x86_64-linux";
#elif defined(__aarch64__)
constexpr const char* moduleArchitecture = "aarch64-linux";
#elif defined(__i386__)
constexpr const char* moduleArchitecture = "i386-linux";
#else
 #error "Unknown VST3 module architecture"
#endif

using ModuleEntryFunction = bool (*) (void*);
using ModuleExitFunction = bool (*)();
using GetFactoryFunction = Steinberg::IPluginFactory* (*) ();

template <size_t size>
juce::String fromChars (const Steinberg::char8 (&text)[size])
{
    return juce::String::fromUTF8 (text, (int) strnlen (text, size));
}

template <size_t size>
juce::String fromUtf16 (const Steinberg::char16 (&text)[size])
{
    size_t length = 0;

    while (length < size && text[length] != 0)
        ++length;

    std::u16string copy (text, length);
    return juce::String (
        juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (copy.c_str())));
}

/** Releases a COM-style pointer on scope exit. */
template <typename Interface>
struct Released
{
    ~Released()
    {
        if (pointer != nullptr)
            pointer->release();
    }
    Interface* pointer = nullptr;
};

/** dlopen'ed module with its entry point called; the exit point and dlclose on scope exit. */
class OpenModule
{
public:
    explicit OpenModule (const juce::File& binary)
        : handle (dlopen (binary.getFullPathName().toRawUTF8(), RTLD_NOW | RTLD_LOCAL))
    {
        if (handle == nullptr)
        {
            error = "dlopen failed: " + juce::String (dlerror());
            return;
        }

        if (auto entry = reinterpret_cast<ModuleEntryFunction> (dlsym (handle, "ModuleEntry")))
            entered = entry (handle);
        else
            error = "the module exports no ModuleEntry";

        if (! entered && error.isEmpty())
            error = "ModuleEntry failed";
    }

    ~OpenModule()
    {
        if (entered)
            if (auto exit = reinterpret_cast<ModuleExitFunction> (dlsym (handle, "ModuleExit")))
                exit();

        if (handle != nullptr)
            dlclose (handle);
    }

    // clang-format off
    bool isReady() const noexcept           { return entered; }
    const juce::String& getError() const    { return error; }
    // clang-format on

    Steinberg::IPluginFactory* getFactory() const
    {
        if (auto getFactoryFunction = reinterpret_cast<GetFactoryFunction> (dlsym (handle, "GetPluginFactory")))
            return getFactoryFunction();

        return nullptr;
    }

private:
    void* handle = nullptr;
    bool entered = false;
    juce::String error;

    JUCE_DECLARE_NON_COPYABLE (OpenModule)
};

template <typename Interface>
Interface* queryFactory (Steinberg::IPluginFactory& factory, const Steinberg::TUID iid)
{
    void* result = nullptr;

    if (factory.queryInterface (iid, &result) == Steinberg::kResultOk)
        return static_cast<Interface*> (result);

    return nullptr;
}

void readClasses (Steinberg::IPluginFactory& factory, Vst3FactoryInfo& result)
{
    const Released<Steinberg::IPluginFactory2> factory2 {
        queryFactory<Steinberg::IPluginFactory2> (factory, Steinberg::IPluginFactory2_iid)
    };
    const Released<Steinberg::IPluginFactory3> factory3 {
        queryFactory<Steinberg::IPluginFactory3> (factory, Steinberg::IPluginFactory3_iid)
    };

    for (Steinberg::int32 i = 0; i < factory.countClasses(); ++i)
    {
        Vst3ClassInfo info;
        Steinberg::PClassInfo basic {};

        if (factory.getClassInfo (i, &basic) != Steinberg::kResultOk)
            continue;

        std::memcpy (info.classId.data(), basic.cid, info.classId.size());
        info.cardinality = basic.cardinality;
        info.category = fromChars (basic.category);
        info.name = fromChars (basic.name);

        if (Steinberg::PClassInfo2 extended {};
            factory2.pointer != nullptr && factory2.pointer->getClassInfo2 (i, &extended) == Steinberg::kResultOk)
        {
            info.hasInfo2 = true;
            info.classFlags = extended.classFlags;
            info.subCategories = fromChars (extended.subCategories);
            info.vendor = fromChars (extended.vendor);
            info.version = fromChars (extended.version);
            info.sdkVersion = fromChars (extended.sdkVersion);
        }

        if (Steinberg::PClassInfoW unicode {};
            factory3.pointer != nullptr && factory3.pointer->getClassInfoUnicode (i, &unicode) == Steinberg::kResultOk)
        {
            info.hasUnicodeInfo = true;
            info.unicodeName = fromUtf16 (unicode.name);
            info.unicodeVendor = fromUtf16 (unicode.vendor);
        }

        result.classes.push_back (std::move (info));
    }
}
} // namespace

//==============================================================================
juce::File vst3ModuleBinary (const juce::File& vst3Bundle)
{
    return vst3Bundle.getChildFile ("Contents")
        .getChildFile (moduleArchitecture)
        .getChildFile (vst3Bundle.getFileNameWithoutExtension() + ".so");
}

juce::Result readVst3Factory (const juce::File& vst3Bundle, Vst3FactoryInfo& result)
{
    result = {};
    const auto binary = vst3ModuleBinary (vst3Bundle);

    if (! binary.existsAsFile())
        return juce::Result::fail ("no module binary at " + binary.getFullPathName());

    const OpenModule module (binary);

    if (! module.isReady())
        return juce::Result::fail (module.getError());

    const Released<Steinberg::IPluginFactory> factory { module.getFactory() };

    if (factory.pointer == nullptr)
        return juce::Result::fail ("GetPluginFactory gave no factory");

    Steinberg::PFactoryInfo factoryInfo {};

    if (factory.pointer->getFactoryInfo (&factoryInfo) != Steinberg::kResultOk)
        return juce::Result::fail ("getFactoryInfo failed");

    result.vendor = fromChars (factoryInfo.vendor);
    result.url = fromChars (factoryInfo.url);
    result.email = fromChars (factoryInfo.email);
    result.flags = factoryInfo.flags;

    readClasses (*factory.pointer, result);
    return juce::Result::ok();
}

std::array<juce::uint8, 16> classIdFromWords (juce::uint32 w0, juce::uint32 w1, juce::uint32 w2,
                                              juce::uint32 w3) noexcept
{
    std::array<juce::uint8, 16> bytes {};
    const juce::uint32 words[] { w0, w1, w2, w3 };

    for (size_t w = 0; w < 4; ++w)
        for (size_t b = 0; b < 4; ++b)
            bytes[w * 4 + b] = (juce::uint8) (words[w] >> (24 - 8 * b));

    return bytes;
}

juce::uint32 fourCharCode (const char (&code)[5]) noexcept
{
    return ((juce::uint32) (juce::uint8) code[0] << 24) | ((juce::uint32) (juce::uint8) code[1] << 16)
         | ((juce::uint32) (juce::uint8) code[2] << 8) | (juce::uint32) (juce::uint8) code[3];
}

} // namespace hostkit
