demo geo/rock.0003.bgeo.sc
