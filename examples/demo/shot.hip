{
    "version": "19.5.605",
    "variables": {"JOB": "/jobs/demo"},
    "nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/geo1", "type": "geo",
         "parms": {"tx": 0.0}},
        {"path": "/obj/geo1/file1", "type": "file",
         "parms": {"file": {"value": "$HIP/geo/rock.$F4.bgeo.sc", "eval": "geo/rock.0001.bgeo.sc"}}},
        {"path": "/obj/cam1", "type": "cam", "parms": {"resx": 1920, "resy": 1080}},
        {"path": "/out", "type": "out"},
        {"path": "/out/mantra1", "type": "ifd",
         "parms": {"camera": "/obj/cam1", "vm_picture": {"value": "$HIP/render/$HIPNAME.$F4.exr"}}}
    ]
}
