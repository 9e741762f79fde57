demo geo/rock.0002.bgeo.sc
