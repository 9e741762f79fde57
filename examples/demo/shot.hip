set -g _HIP_SAVEVERSION = '19.5.605'
{
    "variables": {"JOB": "/jobs/demo"},
    "nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/shader", "type": "principledshader::2.0",
         "parms": {"basecolor_texture": "$HIP/tex/brick_diffuse.jpg",
                   "rough_texture": "$HIP/tex/skin.<UDIM>.exr",
                   "normal_texture": "$HIP/tex/brick_normal.exr"}},
        {"path": "/obj/geo1", "type": "geo", "parms": {"tx": 0.0}},
        {"path": "/obj/geo1/file1", "type": "file",
         "parms": {"file": "$HIP/geo/rock.$F4.bgeo.sc"}},
        {"path": "/obj/cam1", "type": "cam", "parms": {"resx": 1920, "resy": 1080}},
        {"path": "/out", "type": "out"},
        {"path": "/out/mantra1", "type": "ifd",
         "parms": {"camera": "/obj/cam1", "vm_picture": "$HIP/render/$HIPNAME.$F4.exr"}}
    ]
}
