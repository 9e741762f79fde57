#include "host/hip/node_catalogue.h"

#include <cstdlib>
#include <stdexcept>

namespace scanflow::hip {

namespace {

// What the host's installation knows of the parameters the analysis reads on its built-in node
// types (and on the render plug-ins' nodes it names), written in the dialog script's words.
//
//   parm NAME TYPE SIZE DEFAULT...       a default of "-" is not known: the parameter is then
//                                        typed and named, but a scene that did not save it
//                                        does not have it
//   menu NAME DEFAULT { TOKEN "LABEL" ... }   an ordinal menu: a token reads as its index
//   group NAME { ... }  /  type TYPE... { use GROUP ... }
//
// A default is written only where it is known: the renderers' documented defaults (Arnold's
// sample counts), the host's defaults for a new node, checked against what the public scenes of
// the test corpus save for nodes left as made (Mantra's quality settings, the file cache's
// version and file type, the camera's resolution); elsewhere "-". A default of the form $NAME
// is the variable's value when the parameter is read ($FSTART, $FEND).
// Parameters that also name a node of another context (the Alembic import node is "alembic"
// like the Alembic output node) are given no default, so that asking for a parameter the
// other node lacks still finds nothing, as in the host.
const char* const kCatalogue = R"catalogue(
group frames {
    parm f float 3 - - -
    menu trange - { off "Render Current Frame" normal "Render Frame Range"
                    on "Render Frame Range Only (Strict)" }
}
group render_frames {
    parm f float 3 $FSTART $FEND 1
    menu trange 0 { off "Render Current Frame" normal "Render Frame Range"
                    on "Render Frame Range Only (Strict)" }
}

type ifd {
    use render_frames
    parm camera string 1 /obj/cam1
    parm vm_picture file 1 $HIP/render/$HIPNAME.$OS.$F4.exr
    parm vm_samples intvector2 2 3 3
    parm vm_minraysamples integer 1 1
    parm vm_maxraysamples integer 1 9
    parm vm_variance float 1 0.01
    parm vm_globalquality float 1 1
    parm vm_diffusequality float 1 1
    parm vm_sssquality float 1 1
    parm vm_reflectionquality float 1 1
    parm vm_refractionquality float 1 1
    parm vm_volumequality float 1 1
    parm override_camerares toggle 1 0
    parm res_override intvector2 2 - -
}
type arnold {
    use render_frames
    parm camera string 1 -
    parm ar_picture file 1 -
    parm ar_AA_samples integer 1 3
    parm ar_GI_diffuse_samples integer 1 2
    parm ar_GI_specular_samples integer 1 2
    parm ar_GI_transmission_samples integer 1 2
    parm ar_GI_sss_samples integer 1 2
    parm ar_GI_volume_samples integer 1 2
    parm ar_mb_xform_enable toggle 1 -
    parm ar_mb_xform_keys integer 1 -
    parm ar_mb_dform_enable toggle 1 -
    parm ar_mb_dform_keys integer 1 -
    parm ar_denoise toggle 1 -
    parm ar_denoise_display toggle 1 -
    parm ar_aovs integer 1 -
    parm ar_ass_export_enable toggle 1 0
}
type Redshift_ROP redshift::1.1 {
    use render_frames
    parm RS_renderCamera string 1 -
    parm RS_outputFileNamePrefix file 1 -
    parm UnifiedMinSamples integer 1 -
    parm UnifiedMaxSamples integer 1 -
    parm MaxTraceDepthReflection integer 1 -
    parm MaxTraceDepthRefraction integer 1 -
    parm MaxTraceDepthCombined integer 1 -
    parm MotionBlurEnabled toggle 1 -
    parm RS_overrideCameraRes toggle 1 0
    parm RS_archive_enable toggle 1 0
}
type vray_renderer {
    use render_frames
    parm render_camera string 1 -
    parm SettingsOutput_img_save toggle 1 -
    parm SettingsOutput_img_file_path file 1 -
    menu render_render_mode 0 { 0 "CPU" 1 "CUDA" 2 "RTX" }
    menu render_export_mode 0 { 0 "No Export" 1 "Export" 2 "Export & Render" }
}
type opengl hdprman {
    use render_frames
    parm camera string 1 /obj/cam1
    parm picture file 1 -
}
type karma {
    use render_frames
    parm camera string 1 -
    parm picture file 1 -
    parm resolution intvector2 2 - -
}
type usdrender usdrender_rop {
    use render_frames
}
type oct_mantra FX_mantra_ Octane_ROP ris::22 ris::3.0 baketexture::3.0 denoise::3.0
     moge_rendersetting::1.0 {
    use frames
}

type rop_vrayproxy usdexport Redshift_Proxy_Output {
    use frames
}
type geometry rop_geometry rop_fbx {
    use frames
    parm sopoutput file 1 -
}
type alembic rop_alembic {
    use frames
    parm filename file 1 -
}
type usd usd_rop {
    use frames
    parm lopoutput file 1 -
}
type dop rop_dop {
    use frames
    parm dopoutput file 1 -
}
type comp fetch wedge {
    use frames
}

type filecache::2.0 labs::filecache::2.0 labs::filecache::1.0 {
    use frames
    parm loadfromdisk toggle 1 0
    menu filemethod 0 { constructed "Constructed" explicit "Explicit" }
    parm timedependent toggle 1 1
    parm enableversion toggle 1 1
    parm version integer 1 1
    parm basedir file 1 $HIP/geo
    parm file file 1 -
    parm filetype string 1 .bgeo.sc
    parm framestr string 1 -
    parm sopoutput file 1 -
}
type filecache dopio vellumio::2.0 {
    use frames
    parm loadfromdisk toggle 1 -
    menu filemethod - { constructed "Constructed" explicit "Explicit" }
}
type hq_sim {
    use frames
    parm hq_driver oppath 1 -
}

type cam {
    parm res intvector2 2 1280 720
}
type karmarenderproperties {
    parm denoiser string 1 -
}
type file {
    parm file file 1 -
}
type alembicarchive alembicxform {
    parm fileName file 1 -
}
)catalogue";

using Tokens = std::vector<std::string>;

class CatalogueReader {
public:
    explicit CatalogueReader(const std::string& text) : w_(script_tokens(text)) {}

    Catalogue read() {
        while (i_ < w_.size()) {
            std::string kind = take();
            if (kind == "group") {
                std::string name = take();
                groups_[name] = block();
            } else if (kind == "type") {
                Tokens types;
                while (peek() != "{") types.push_back(take());
                Templates parms = block();
                for (const auto& t : types) out_[t] = parms;
            } else {
                fail("expected group or type, not " + kind);
            }
        }
        return out_;
    }

private:
    Templates block() {
        expect("{");
        Templates parms;
        while (peek() != "}") {
            std::string kind = take();
            if (kind == "use") {
                auto group = groups_.find(take());
                if (group == groups_.end()) fail("unknown group");
                for (const auto& p : group->second) parms.insert(p);
            } else if (kind == "parm") {
                std::string name = take();
                parms[name] = parm();
            } else if (kind == "menu") {
                std::string name = take();
                parms[name] = menu();
            } else {
                fail("expected use, parm or menu, not " + kind);
            }
        }
        expect("}");
        return parms;
    }

    ParmTemplate parm() {
        ParmTemplate t;
        t.type = take();
        t.size = static_cast<size_t>(std::atoi(take().c_str()));
        for (size_t c = 0; c < t.size; ++c) t.defaults.push_back(take());
        if (t.defaults.front() == "-") t.defaults.clear();
        return t;
    }

    ParmTemplate menu() {
        ParmTemplate t;
        t.type = "ordinal";
        std::string fallback = take();
        if (fallback != "-") t.defaults.push_back(fallback);
        expect("{");
        while (peek() != "}") {
            t.menu_tokens.push_back(token_text(take()));
            t.menu_labels.push_back(token_text(take()));
        }
        expect("}");
        return t;
    }

    const std::string& peek() {
        if (i_ >= w_.size()) fail("unexpected end");
        return w_[i_];
    }
    std::string take() {
        std::string word = peek();
        ++i_;
        return word;
    }
    void expect(const char* word) {
        if (take() != word) fail(std::string("expected ") + word);
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw std::logic_error("node catalogue, word " + std::to_string(i_) + ": " + what);
    }

    Tokens w_;
    size_t i_ = 0;
    std::map<std::string, Templates> groups_;
    Catalogue out_;
};

}  // namespace

Catalogue read_catalogue(const std::string& text) {
    return CatalogueReader(text).read();
}

const Catalogue& node_catalogue() {
    static const Catalogue catalogue = read_catalogue(kCatalogue);
    return catalogue;
}

bool holds_output_drivers(const std::string& node_type) {
    // The File Cache node writes through a geometry output driver inside it.
    static const char* const kTypes[] = {"filecache", "filecache::2.0"};
    for (const char* type : kTypes)
        if (node_type == type) return true;
    return false;
}

const ParmTemplate* builtin_template(const std::string& node_type, const std::string& parm) {
    const Catalogue& catalogue = node_catalogue();
    auto type = catalogue.find(node_type);
    if (type == catalogue.end()) return nullptr;
    auto found = type->second.find(parm);
    return found == type->second.end() ? nullptr : &found->second;
}

}  // namespace scanflow::hip
